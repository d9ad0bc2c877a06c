// trcinfo -html: one self-contained page for a set of captures, to judge each by its shape.
// For each file: its header and statistics as tables, an I/O graph (bits per second per port
// over UTC time, damaged frames marked, the largest gaps shaded) and its frame length
// histogram, all inline SVG and CSS: no script, no font and nothing else fetched. Each file is
// read in one pass; the page is written under a temporary name and renamed into place.
#pragma once

#include <string>
#include <vector>

class HtmlReport {
  public:
    explicit HtmlReport(std::string outputName) : output(std::move(outputName)) {}

    // Reads one capture and adds its section; false when it could not be opened (the section
    // then says why).
    bool add(const std::string& fileName);
    // Writes the page; false after printing why it could not be.
    bool write() const;

  private:
    std::string output;
    std::vector<std::string> inputs;
    std::string sections;
};
