#include "output/PrinterSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <memory>

#include "platform/ProgramError.h"

namespace quorvil {

namespace {

// Owns the printer as a child of the application, so that it goes before the
// application's own resources do.
class TPrinterHolder : public QObject {
 public:
  explicit TPrinterHolder(QObject* parent) : QObject(parent) {}
  std::unique_ptr<QPrinter> printer;
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
  printer->setOutputFileName(fileName);
  return printer;
}

std::unique_ptr<QPrinter> NewSystemPrinter() {
  QPrinterInfo chosen = QPrinterInfo::defaultPrinter();
  if (chosen.isNull()) {
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    if (!printers.isEmpty()) chosen = printers.front();
  }
  if (chosen.isNull()) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    return NewPdfPrinter(QDir(folder).filePath("Quorvil.pdf"));
  }
  return std::make_unique<QPrinter>(chosen, QPrinter::HighResolution);
}

bool RunPrintDialog(QPrinter& printer, QWidget* parent) {
  QPrintDialog dialog(&printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

TPrinterSetupRunner& SetupRunner() {
  static TPrinterSetupRunner runner;
  return runner;
}

std::string PrinterName(const QPrinter& printer) {
  if (printer.outputFormat() == QPrinter::PdfFormat) return kPdfPrinterName;
  return printer.printerName().toStdString();
}

}  // namespace

QPrinter& CurrentPrinter() {
  TPrinterHolder& holder = TheHolder();
  if (!holder.printer) holder.printer = NewSystemPrinter();
  return *holder.printer;
}

std::string CurrentPrinterName() { return PrinterName(CurrentPrinter()); }

void UsePdfPrinter(const std::string& fileName) {
  TheHolder().printer = NewPdfPrinter(QString::fromStdString(fileName));
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
  return runner ? runner(CurrentPrinter(), parent) : RunPrintDialog(CurrentPrinter(), parent);
}

TPrinterSetupRunner SetPrinterSetupRunner(TPrinterSetupRunner runner) {
  return std::exchange(SetupRunner(), std::move(runner));
}

}  // namespace quorvil
