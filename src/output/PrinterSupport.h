#pragma once

// The program's printer: one current printer for the whole run, whose device, paper and
// orientation the printer-setup dialog changes and every print job uses. It is the
// system's default printer, or a printer that writes a PDF file when the system has
// none.

#include <functional>
#include <string>

#include "output/PrintPlacement.h"

class QPrinter;
class QWidget;

namespace quorvil {

// The name the PDF printer goes by, in the printer-setup dialog as here.
inline constexpr const char* kPdfPrinterName = "Print to File (PDF)";

// The current printer, made on first use: the system's default printer (or the first one
// it lists), else the PDF printer writing to Quorvil.pdf in the user's documents folder.
QPrinter& CurrentPrinter();

// The current printer's name; the PDF printer goes by kPdfPrinterName.
std::string CurrentPrinterName();

// Makes the current printer the PDF printer writing to `fileName`.
void UsePdfPrinter(const std::string& fileName);

// The current printer's name, printable size and orientation. Throws EQuorvilError
// when the printer cannot be used.
TPrinterInfoRec GetPrinterInfo(bool inInches);

// Runs the printer-setup dialog on the current printer; true when the user confirmed.
bool RunPrinterSetup(QWidget* parent);

// Replaces the printer-setup dialog (for tests); an empty function puts it back.
// Returns the one replaced.
using TPrinterSetupRunner = std::function<bool(QPrinter& printer, QWidget* parent)>;
TPrinterSetupRunner SetPrinterSetupRunner(TPrinterSetupRunner runner);

}  // namespace quorvil
