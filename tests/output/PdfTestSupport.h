#pragma once

// Looking into the PDF files that printing writes, with poppler's tools: the number of
// pages, the images embedded, and where ink lies on a rendered page.

#include <QImage>
#include <QRect>
#include <array>
#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace quorvil::testing {

// The command's standard output.
inline std::string CommandOutput(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  if (!pipe) return output;
  std::array<char, 4096> buffer;
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) {
    output.append(buffer.data(), n);
  }
  return output;
}

inline int PdfPageCount(const std::string& file) {
  std::smatch match;
  const std::string info = CommandOutput("pdfinfo '" + file + "' 2>/dev/null");
  return std::regex_search(info, match, std::regex(R"(Pages:\s+(\d+))")) ? std::stoi(match[1]) : -1;
}

struct TPdfImage {
  int Page = 0;
  int Width = 0;
  int Height = 0;
};

// The images `pdfimages -list` names, in their order.
inline std::vector<TPdfImage> PdfImages(const std::string& file) {
  std::vector<TPdfImage> images;
  const std::string list = CommandOutput("pdfimages -list '" + file + "' 2>/dev/null");
  const std::regex line(R"(^\s*(\d+)\s+\d+\s+image\s+(\d+)\s+(\d+))", std::regex::multiline);
  for (auto it = std::sregex_iterator(list.begin(), list.end(), line); it != std::sregex_iterator();
       ++it) {
    images.push_back({std::stoi((*it)[1]), std::stoi((*it)[2]), std::stoi((*it)[3])});
  }
  return images;
}

// The first page rendered at `dpi` dots per inch.
inline QImage RenderPdfPage(const std::string& file, int dpi, const std::string& folder) {
  const std::string stem = folder + "/page";
  CommandOutput("pdftoppm -r " + std::to_string(dpi) + " -f 1 -l 1 -singlefile -png '" + file +
                "' '" + stem + "' 2>/dev/null");
  return QImage(QString::fromStdString(stem + ".png"));
}

// The smallest rectangle holding every pixel that is clearly not white.
inline QRect InkBounds(const QImage& page) {
  QRect bounds;
  for (int y = 0; y < page.height(); ++y) {
    for (int x = 0; x < page.width(); ++x) {
      const QRgb pixel = page.pixel(x, y);
      if (qRed(pixel) < 200 || qGreen(pixel) < 200 || qBlue(pixel) < 200) {
        bounds |= QRect(x, y, 1, 1);
      }
    }
  }
  return bounds;
}

}  // namespace quorvil::testing
