#pragma once

// The program's printer: one current printer for the whole run, whose device, paper and
// orientation the printer-setup dialog changes and every print job uses. It is the
// system's default printer, or a printer that writes a PDF file when the system has
// none.

#include <QPageSize>
#include <functional>
#include <string>

#include "output/PrintPlacement.h"

class QPrinter;
class QWidget;

namespace quorvil {

// The name the PDF printer goes by, in the printer-setup dialog as here.
inline constexpr const char* kPdfPrinterName = "Print to File (PDF)";

// The PDF printer's dots per inch: Actual Size then gives a picture of sensible size.
inline constexpr int kPdfPrinterResolution = 300;

// The filter of the dialog that asks for the PDF printer's file.
inline constexpr const char* kPdfFilter = "PDF (*.pdf)|*.pdf";

// The current printer, made on first use: the system's default printer (or the first one
// it lists), else the PDF printer, which asks for its file at each print.
QPrinter& CurrentPrinter();

// The current printer's name; the PDF printer goes by kPdfPrinterName.
std::string CurrentPrinterName();

// Makes the current printer the PDF printer writing to `fileName`: a file the user has
// chosen, or with `chosen` false only the proposal that each print asks about.
void UsePdfPrinter(const std::string& fileName, bool chosen = true);

// Where the PDF printer's file is proposed: the documents folder when it exists, else
// the home folder.
std::string DefaultPdfFolder();

// The paper of the user's locale (Letter where the locale uses it, A4 elsewhere), from
// the locale's paper width and height in millimetres.
QPageSize::PageSizeId LocalePaperSizeId();
QPageSize::PageSizeId PaperSizeIdForLocale(int widthMillimetres, int heightMillimetres);

// Before a print job: the PDF printer without a chosen file asks for one in the save
// dialog, proposing the place's name in the folder last used (or DefaultPdfFolder), with
// the question before a file is replaced. False when the user declined; then nothing is
// to be printed. Other printers need nothing.
bool ChoosePrintFile(const std::string& placeName);

// The message of a print job that could not start: the printer and, for the PDF
// printer, the file and why the system refuses it.
std::string PrintJobStartError();

// The current printer's name, printable size and orientation. Throws EQuorvilError
// when the printer cannot be used.
TPrinterInfoRec GetPrinterInfo(bool inInches);

// Runs the printer-setup dialog on the current printer, its button reading "OK"; true
// when the user confirmed. A PDF file confirmed there is kept for the rest of the run.
bool RunPrinterSetup(QWidget* parent);

// Replaces the printer-setup dialog (for tests); an empty function puts it back.
// Returns the one replaced.
using TPrinterSetupRunner = std::function<bool(QPrinter& printer, QWidget* parent)>;
TPrinterSetupRunner SetPrinterSetupRunner(TPrinterSetupRunner runner);

}  // namespace quorvil
