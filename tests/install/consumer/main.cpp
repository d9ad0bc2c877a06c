// Opens a capture file through the installed library and prints its format and record
// count.
#include <iostream>
#include <memory>

#include "capfile/read/CXcfCaptureFileParserFactory.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::cout << "usage: consumer capFilename\n";
        return 2;
    }
    CXcfCaptureFileParserFactory factory;
    std::unique_ptr<CXcfCaptureFileParser> parser = factory.createParser(argv[1]);
    if (!parser) {
        std::cout << "cannot open " << argv[1] << ": " << factory.errorMessage() << "\n";
        return 1;
    }
    std::cout << parser->getFormatCode() << " file with " << parser->numberOfRecords
              << " records\n";
    return 0;
}
