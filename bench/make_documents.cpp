// Writes sample documents for the pictures of the help pages and for trying the program by hand:
// a PDF with one page per argument, or an OpenDocument or Word text of the lines of one argument.
//   marrowdex_make_documents pdf OUT PAGE...
//   marrowdex_make_documents odt|docx OUT TEXT
// A backslash-n in an argument is a line break.

#include "support/document_files.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string Lines(std::string_view argument) {
    std::string text;
    for (std::size_t i = 0; i < argument.size(); ++i) {
        if (argument[i] == '\\' && i + 1 < argument.size() && argument[i + 1] == 'n') {
            text += '\n';
            ++i;
        } else {
            text += argument[i];
        }
    }
    return text;
}

int Usage() {
    std::fprintf(stderr, "usage: marrowdex_make_documents pdf OUT PAGE...\n"
                         "       marrowdex_make_documents odt|docx OUT TEXT\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        return Usage();
    }
    const std::string_view kind = argv[1];
    const std::string out = argv[2];
    try {
        if (kind == "pdf") {
            std::vector<std::string> pages;
            for (int i = 3; i < argc; ++i) {
                pages.push_back(Lines(argv[i]));
            }
            std::ofstream file(out, std::ios::binary);
            file << mwdx::test::PdfBytes(pages);
            if (!file) {
                std::fprintf(stderr, "marrowdex_make_documents: cannot write %s\n", out.c_str());
                return 1;
            }
        } else if (kind == "odt" && argc == 4) {
            mwdx::test::WriteOdt(out, Lines(argv[3]));
        } else if (kind == "docx" && argc == 4) {
            mwdx::test::WriteDocx(out, Lines(argv[3]));
        } else {
            return Usage();
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "marrowdex_make_documents: %s\n", failure.what());
        return 1;
    }
    return 0;
}
