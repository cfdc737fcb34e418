// Reading PDF files back through poppler's command-line tools (poppler-utils), as a user's PDF
// reader would.
#pragma once

#include <string>

// The text of the file's pages as UTF-8 (pdftotext), "" when it cannot be read.
std::string PdfText(const std::string& path);
// The number of pages (pdfinfo), 0 when the file cannot be read.
int PdfPageCount(const std::string& path);
// The font table (pdffonts): one line per font with its type, embedding and Unicode map.
std::string PdfFonts(const std::string& path);
