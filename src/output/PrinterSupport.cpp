#include "output/PrinterSupport.h"

#include <langinfo.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/ProgramError.h"
#include "platform/SaveFileDialog.h"
#include "settings/PreferencesSupport.h"

namespace quorvil {

namespace {

// Owns the printer as a child of the application, so that it goes before the
// application's own resources do.
class TPrinterHolder : public QObject {
 public:
  explicit TPrinterHolder(QObject* parent) : QObject(parent) {}
  std::unique_ptr<QPrinter> printer;
  bool pdfFileChosen = false;  // the PDF printer prints to its file without asking
};

TPrinterHolder*& Holder() {
  static TPrinterHolder* holder = nullptr;
  return holder;
}

TPrinterHolder& TheHolder() {
  TPrinterHolder*& holder = Holder();
  if (holder == nullptr) {
    holder = new TPrinterHolder(QCoreApplication::instance());
    QObject::connect(holder, &QObject::destroyed, [] { Holder() = nullptr; });
  }
  return *holder;
}

std::unique_ptr<QPrinter> NewPdfPrinter(const QString& fileName) {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setResolution(kPdfPrinterResolution);
  printer->setPageSize(QPageSize(LocalePaperSizeId()));
  printer->setOutputFileName(fileName);
  return printer;
}

bool IsPdfPrinter(const QPrinter& printer) { return printer.outputFormat() == QPrinter::PdfFormat; }

// A file name from the place's name: what a folder cannot hold becomes "_".
QString ProposedPdfName(const std::string& placeName) {
  QString name = QString::fromStdString(placeName).trimmed();
  for (QChar& c : name) {
    if (c == '/' || c == '\\' || c.unicode() < 32) c = '_';
  }
  return (name.isEmpty() ? QStringLiteral("Quorvil") : name) + ".pdf";
}

std::unique_ptr<QPrinter> NewSystemPrinter() {
  QPrinterInfo chosen = QPrinterInfo::defaultPrinter();
  if (chosen.isNull()) {
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    if (!printers.isEmpty()) chosen = printers.front();
  }
  if (chosen.isNull()) {
    return NewPdfPrinter(QDir(QString::fromStdString(DefaultPdfFolder())).filePath("Quorvil.pdf"));
  }
  return std::make_unique<QPrinter>(chosen, QPrinter::HighResolution);
}

bool RunPrintDialog(QPrinter& printer, QWidget* parent) {
  QPrintDialog dialog(&printer, parent);
  // This is printer setup: neither its caption nor its confirming button may promise a
  // print.
  dialog.setWindowTitle("Printer Setup");
  for (QDialogButtonBox* buttons : dialog.findChildren<QDialogButtonBox*>()) {
    if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) {
      ok->setText("OK");
      ok->setIcon(QIcon());
    }
  }
  return dialog.exec() == QDialog::Accepted;
}

TPrinterSetupRunner& SetupRunner() {
  static TPrinterSetupRunner runner;
  return runner;
}

std::string PrinterName(const QPrinter& printer) {
  if (IsPdfPrinter(printer)) return kPdfPrinterName;
  return printer.printerName().toStdString();
}

}  // namespace

QPrinter& CurrentPrinter() {
  TPrinterHolder& holder = TheHolder();
  if (!holder.printer) holder.printer = NewSystemPrinter();
  return *holder.printer;
}

std::string CurrentPrinterName() { return PrinterName(CurrentPrinter()); }

void UsePdfPrinter(const std::string& fileName, bool chosen) {
  TPrinterHolder& holder = TheHolder();
  holder.printer = NewPdfPrinter(QString::fromStdString(fileName));
  holder.pdfFileChosen = chosen;
}

std::string DefaultPdfFolder() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  // A fresh home has no documents folder yet; the home folder always exists.
  if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents.toStdString();
  return QDir::homePath().toStdString();
}

QPageSize::PageSizeId PaperSizeIdForLocale(int widthMillimetres, int heightMillimetres) {
  // Letter is 215.9 x 279.4 mm; locales give it as 216 x 279.
  return widthMillimetres == 216 && heightMillimetres == 279 ? QPageSize::Letter : QPageSize::A4;
}

QPageSize::PageSizeId LocalePaperSizeId() {
  // The C library's paper of the locale (LC_PAPER), as desktop programs read it.
  const auto number = [](nl_item item) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(nl_langinfo(item)));
  };
  return PaperSizeIdForLocale(number(_NL_PAPER_WIDTH), number(_NL_PAPER_HEIGHT));
}

bool ChoosePrintFile(const std::string& placeName) {
  TPrinterHolder& holder = TheHolder();
  QPrinter& printer = CurrentPrinter();
  if (!IsPdfPrinter(printer) || holder.pdfFileChosen) return true;
  const QFileInfo last(printer.outputFileName());
  TSaveFileRequest request;
  request.FileName = ProposedPdfName(placeName).toStdString();
  request.Filter = kPdfFilter;
  // The folder last printed into, also in an earlier run, before the printer's own.
  request.InitialFolder = ReadLastFolder(kLastPdfFolderValue);
  if (request.InitialFolder.empty()) {
    request.InitialFolder =
        last.absoluteDir().exists() ? last.absolutePath().toStdString() : DefaultPdfFolder();
  }
  request.OverwritePrompt = true;
  const std::optional<TSaveFileAnswer> answer = CurrentSaveFileDialog().Execute(request);
  if (!answer) return false;
  WriteLastFolderOf(kLastPdfFolderValue, answer->FileName);
  std::string fileName = answer->FileName;
  if (!QString::fromStdString(fileName).endsWith(".pdf", Qt::CaseInsensitive)) {
    // The dialog asked about the name as typed; the one printed to is asked about here.
    fileName += ".pdf";
    std::error_code error;
    if (std::filesystem::exists(fileName, error) && !AskToReplaceFiles({fileName})) return false;
  }
  printer.setOutputFileName(QString::fromStdString(fileName));
  return true;
}

std::string PrintJobStartError() {
  const QPrinter& printer = CurrentPrinter();
  std::string message = "The print job could not be started on \"" + PrinterName(printer) + "\"";
  if (!IsPdfPrinter(printer)) return message;
  const std::filesystem::path file(printer.outputFileName().toStdString());
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
  std::error_code error;
  int reason = 0;
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    reason = errno;
  } else if (std::filesystem::is_directory(file, error)) {
    reason = EISDIR;
  } else if (std::filesystem::exists(file, error) && ::access(file.c_str(), W_OK) != 0) {
    reason = errno;
  }
  message += ": the file \"" + file.string() + "\" cannot be written";
  if (reason != 0) message += std::string(" (") + std::strerror(reason) + ")";
  return message;
}

TPrinterInfoRec GetPrinterInfo(bool inInches) {
  QPrinter& printer = CurrentPrinter();
  TPrinterInfoRec info;
  info.PrinterName = PrinterName(printer);
  if (!printer.isValid()) {
    throw EQuorvilError("The printer \"" + info.PrinterName + "\" is not available");
  }
  info.InInches = inInches;
  info.Orientation = printer.pageLayout().orientation() == QPageLayout::Landscape
                         ? kOrientationLandscape
                         : kOrientationPortrait;
  // The paint device's measures are those of the printable area.
  info.DotsPerInch = printer.logicalDpiX();
  info.PageWidthPixels = printer.width();
  info.PageHeightPixels = printer.height();
  if (info.PageWidthPixels <= 0 || info.PageHeightPixels <= 0 || printer.logicalDpiX() <= 0 ||
      printer.logicalDpiY() <= 0) {
    throw EQuorvilError("The printer \"" + info.PrinterName + "\" has no printable area");
  }
  if (inInches) {
    info.PageWidth = static_cast<double>(info.PageWidthPixels) / printer.logicalDpiX();
    info.PageHeight = static_cast<double>(info.PageHeightPixels) / printer.logicalDpiY();
  } else {
    info.PageWidth = printer.widthMM();
    info.PageHeight = printer.heightMM();
  }
  return info;
}

bool RunPrinterSetup(QWidget* parent) {
  const TPrinterSetupRunner& runner = SetupRunner();
  QPrinter& printer = CurrentPrinter();
  const bool confirmed = runner ? runner(printer, parent) : RunPrintDialog(printer, parent);
  // The setup dialog asked for the file and about replacing it.
  if (confirmed && IsPdfPrinter(printer)) TheHolder().pdfFileChosen = true;
  return confirmed;
}

TPrinterSetupRunner SetPrinterSetupRunner(TPrinterSetupRunner runner) {
  return std::exchange(SetupRunner(), std::move(runner));
}

}  // namespace quorvil
