// The printer: one print job's pages go to a printer of the system (through CUPS) or to a PDF file,
// drawn on the printer's canvas in device dots. The paper, orientation and resolution are known
// before a job starts, so pages can be laid out first.
//
// Fonts keep their size in points on the printer's canvas: a font of 12 pixels on the screen
// (96 dots per inch) is 75 dots high at 600 dots per inch. A job that draws nothing writes no
// file and sends no sheet. User-interface thread only.
#pragma once

#include <memory>
#include <string>

#include "platform/Classes.h"
#include "platform/Graphics.h"

enum TPrinterOrientation { poPortrait, poLandscape };

// The paper sizes the printer-setup dialog offers, in this order.
enum TPaperSize { dmA3, dmA4, dmA5, dmB4, dmB5, dmLetter, dmLegal };
constexpr int kPaperSizeCount = 7;
// The size's name as the dialogs show it ("A4", "レター", ...).
AnsiString PaperSizeName(TPaperSize size);

// The screen's dots per inch as the program counts them (fonts, grids and bitmaps).
constexpr int kScreenPixelsPerInch = 96;

class TPrinter : public TObject {
 public:
  // With a canvas of the caller's own (a recording made by a test), the pages are drawn on it
  // instead of reaching a printer or a file; it is not owned.
  explicit TPrinter(TCanvas* canvas = nullptr);
  ~TPrinter() override;
  TPrinter(const TPrinter&) = delete;
  TPrinter& operator=(const TPrinter&) = delete;

  // The system's printers by name (empty on a machine without any).
  TStrings* Printers();
  // The chosen printer; -1 is the system's default printer.
  int PrinterIndex() const { return printerIndex_; }
  void SetPrinterIndex(int i);
  // A PDF file (Shift_JIS path) that takes the pages in place of a printer; "" prints on paper.
  const AnsiString& FileName() const { return fileName_; }
  void SetFileName(const AnsiString& name);
  // Where the pages go, for the dialogs: the file, the printer's name, or "" when nowhere.
  AnsiString TargetName();

  TPrinterOrientation Orientation() const { return orientation_; }
  void SetOrientation(TPrinterOrientation o);
  TPaperSize PaperSize() const { return paper_; }
  void SetPaperSize(TPaperSize p);
  // The paper in device dots, orientation applied, and the dots per inch across and down.
  int PageWidth();
  int PageHeight();
  int XResolution();
  int YResolution();

  // The job's title, shown in the printer's queue and written into a PDF.
  AnsiString Title;

  TCanvas* Canvas();
  // Starts a job on page 1; false (and LastError) when the target cannot take pages: no printer
  // and no file, or a file that cannot be written.
  bool BeginDoc();
  // Ends the current page and starts the next.
  void NewPage();
  // Ends the job; false (and LastError) when the pages did not reach the printer or file.
  bool EndDoc();
  bool Printing() const { return printing_; }
  // The page being drawn, from 1 (0 outside a job).
  int PageNumber() const { return printing_ ? page_ : 0; }
  const AnsiString& LastError() const { return lastError_; }

  struct Device;

 private:
  Device& Dev();
  void SettingsChanged();
  TCanvas* own_;     // the canvas of the printer or file
  TCanvas* canvas_;  // where pages are drawn: own_ or the caller's
  bool external_;
  std::unique_ptr<Device> device_;
  TStringList printers_;
  bool printersRead_ = false;
  int printerIndex_ = -1;
  AnsiString fileName_;
  TPrinterOrientation orientation_ = poPortrait;
  TPaperSize paper_ = dmA4;
  bool printing_ = false;
  int page_ = 0;
  AnsiString lastError_;
};

// The program's printer, made at its first use and kept for the life of the program.
TPrinter* Printer();
