// The extraction worker on real files of every kind it reads, and on the bad ones: each gives its
// text or the reason it has none, and nothing hangs or takes the indexing down with it.

#include "support/document_files.h"
#include "support/process.h"
#include "support/test_support.h"
#include "textindex/extraction_worker.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iconv.h>
#include <csignal>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace mwdx {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

const std::string kWorker = EXTRACT_PATH;

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// `utf8` in another encoding, through the C library's converter.
std::string Encoded(const std::string& utf8, const char* encoding) {
    const iconv_t converter = iconv_open(encoding, "UTF-8");
    EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1)) << encoding;
    std::string out(utf8.size() * 4 + 8, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* at = out.data();
    std::size_t outLeft = out.size();
    EXPECT_NE(iconv(converter, &in, &inLeft, &at, &outLeft), static_cast<std::size_t>(-1)) << encoding;
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    return out;
}

bool HaveProgram(const char* name) {
    return test::RunProcess({"sh", "-c", std::string("command -v ") + name}).exitCode == 0;
}

class Extraction : public ::testing::Test {
protected:
    std::string File(const std::string& name) const { return m_dir.File(name); }

    mwdx::Extraction Read(const std::string& path, ExtractionLimits limits = {}) {
        ExtractionWorker worker(kWorker, limits);
        const std::optional<mwdx::Extraction> extraction = worker.Extract(path);
        EXPECT_TRUE(extraction.has_value()) << worker.Failure();
        return extraction.value_or(mwdx::Extraction{});
    }

    TempDir m_dir;
};

TEST_F(Extraction, EveryKindOfDocumentGivesItsText) {
    Write(File("report.pdf"), test::PdfBytes({"Quarterly Report\nRevenue grew", "第二页 中文内容 mixed 文字",
                                              "Third page: naïve café"}));
    const mwdx::Extraction pdf = Read(File("report.pdf"));
    EXPECT_EQ(pdf.reason, SkipReason::kNone);
    EXPECT_EQ(pdf.format, DocFormat::kPdf);
    EXPECT_EQ(pdf.pages, 3);
    EXPECT_NE(pdf.text.find("Quarterly Report"), std::string::npos) << pdf.text;
    EXPECT_NE(pdf.text.find("中文内容"), std::string::npos) << pdf.text;
    EXPECT_NE(pdf.text.find("café"), std::string::npos) << pdf.text;
    EXPECT_EQ(std::count(pdf.text.begin(), pdf.text.end(), '\f'), 2) << "pages are told apart";
    EXPECT_LT(pdf.text.find("Revenue"), pdf.text.find('\f'));
    EXPECT_GT(pdf.text.find("中文"), pdf.text.find('\f'));

    test::WriteOdt(File("notes.odt"), "Meeting notes\n会议记录 & more");
    const mwdx::Extraction odt = Read(File("notes.odt"));
    EXPECT_EQ(odt.format, DocFormat::kOpenDocument);
    EXPECT_EQ(odt.text, "Meeting notes\n会议记录 & more\n");

    test::WriteDocx(File("letter.docx"), "Dear reader\n亲爱的读者");
    const mwdx::Extraction docx = Read(File("letter.docx"));
    EXPECT_EQ(docx.format, DocFormat::kOfficeOpenXml);
    EXPECT_EQ(docx.text, "Dear reader\n亲爱的读者\n");

    test::WriteXlsx(File("budget.xlsx"), {"Budget", "预算"});
    const mwdx::Extraction xlsx = Read(File("budget.xlsx"));
    EXPECT_NE(xlsx.text.find("Budget\n预算\n"), std::string::npos) << xlsx.text;
    EXPECT_NE(xlsx.text.find("31415"), std::string::npos) << "numbers in cells too: " << xlsx.text;

    test::WritePptx(File("talk.pptx"), {"First slide", "第二张幻灯片"});
    const mwdx::Extraction pptx = Read(File("talk.pptx"));
    EXPECT_EQ(pptx.text, "First slide\n第二张幻灯片\n");

    // Text files in every encoding people have.
    const std::string chinese = "简体中文的笔记，记录了很多内容。知识库管理软件可以帮助我们整理文档资料。";
    Write(File("utf8.md"), "# Title\n" + chinese);
    EXPECT_EQ(Read(File("utf8.md")).text, "# Title\n" + chinese);
    Write(File("bom.txt"), "\xEF\xBB\xBFwith a mark");
    EXPECT_EQ(Read(File("bom.txt")).text, "with a mark");
    Write(File("utf16le.txt"), "\xFF\xFE" + Encoded("UTF-16 小端 text", "UTF-16LE"));
    EXPECT_EQ(Read(File("utf16le.txt")).text, "UTF-16 小端 text");
    Write(File("utf16be.txt"), "\xFE\xFF" + Encoded("UTF-16 大端 text", "UTF-16BE"));
    EXPECT_EQ(Read(File("utf16be.txt")).text, "UTF-16 大端 text");
    Write(File("gbk.txt"), Encoded(chinese, "GB18030"));
    EXPECT_EQ(Read(File("gbk.txt")).text, chinese);
    const std::string traditional = "繁體中文的筆記，記錄了很多內容。知識庫管理軟體可以幫助我們整理文件資料。";
    Write(File("big5.txt"), Encoded(traditional, "BIG5"));
    EXPECT_EQ(Read(File("big5.txt")).text, traditional);

    Write(File("page.html"), "<html><head><title>T</title><style>p { color: red }</style>"
                             "<script>var hidden = 'secret';</script></head><body><p>Fish &amp; chips"
                             "</p><!-- a comment --><div>&#20013;&#x6587; &lt;tag&gt;</div></body></html>");
    const mwdx::Extraction html = Read(File("page.html"));
    EXPECT_EQ(html.format, DocFormat::kHtml);
    EXPECT_NE(html.text.find("Fish & chips"), std::string::npos) << html.text;
    EXPECT_NE(html.text.find("中文 <tag>"), std::string::npos) << html.text;
    EXPECT_EQ(html.text.find("secret"), std::string::npos) << html.text;
    EXPECT_EQ(html.text.find("color"), std::string::npos) << html.text;
    EXPECT_EQ(html.text.find("comment"), std::string::npos) << html.text;

    Write(File("table.csv"), "name,amount\n苹果,3\n");
    EXPECT_EQ(Read(File("table.csv")).text, "name,amount\n苹果,3\n");
    Write(File("main.cpp"), "int main() { return 0; } // 入口\n");
    EXPECT_EQ(Read(File("main.cpp")).format, DocFormat::kPlainText);
    Write(File("no name"), "plain words without an extension");
    EXPECT_EQ(Read(File("no name")).text, "plain words without an extension");
}

TEST_F(Extraction, BadFilesAreRecordedWithTheirReasonAndNothingHangs) {
    // Damaged: a PDF cut short, an office file whose XML is broken, an office file without its body.
    const std::string pdf = test::PdfBytes({"Some text here"});
    Write(File("cut.pdf"), pdf.substr(0, 20));
    EXPECT_EQ(Read(File("cut.pdf")).reason, SkipReason::kMalformed);
    test::WriteZip(File("broken.docx"), {{"word/document.xml", "<w:document><w:body><w:p>unclosed"}});
    EXPECT_EQ(Read(File("broken.docx")).reason, SkipReason::kMalformed);
    test::WriteZip(File("hollow.docx"), {{"[Content_Types].xml", "<Types/>"}});
    EXPECT_EQ(Read(File("hollow.docx")).reason, SkipReason::kMalformed);
    Write(File("garbage.odt"), "PK\x03\x04 this is no archive at all");
    EXPECT_EQ(Read(File("garbage.odt")).reason, SkipReason::kMalformed);

    // Encrypted: a PDF with a user password, an OpenDocument file whose manifest says so, and a
    // Word file as Office keeps it when it has a password.
    if (HaveProgram("qpdf")) {
        Write(File("plain.pdf"), pdf);
        const test::Outcome made = test::RunProcess(
            {"qpdf", "--encrypt", "secret", "owner", "256", "--", File("plain.pdf"), File("locked.pdf")});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        EXPECT_EQ(Read(File("locked.pdf")).reason, SkipReason::kEncrypted);
    } else {
        ADD_FAILURE() << "qpdf is missing: scripts/install-deps.sh --tests installs it";
    }
    test::WriteZip(File("locked.odt"), {{"content.xml", "\x01\x02 encrypted bytes"},
                                        {"META-INF/manifest.xml", "<manifest:manifest><manifest:file-entry>"
                                                                  "<manifest:encryption-data/></manifest:file-entry>"
                                                                  "</manifest:manifest>"}});
    EXPECT_EQ(Read(File("locked.odt")).reason, SkipReason::kEncrypted);
    const std::string compound = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0');
    Write(File("locked.docx"), compound);
    EXPECT_EQ(Read(File("locked.docx")).reason, SkipReason::kEncrypted);

    // Not supported: legacy Word files; scanned pages and pictures.
    Write(File("old.doc"), compound);
    EXPECT_EQ(Read(File("old.doc")).reason, SkipReason::kNotSupported);
    Write(File("scan.pdf"), test::PdfBytes({"", ""}));
    const mwdx::Extraction scan = Read(File("scan.pdf"));
    EXPECT_EQ(scan.reason, SkipReason::kNoTextLayer);
    EXPECT_TRUE(scan.text.empty());
    Write(File("photo.png"), std::string("\x89PNG\r\n\x1A\n", 8) + std::string(64, '\0'));
    EXPECT_EQ(Read(File("photo.png")).reason, SkipReason::kImage);

    // Empty, and unknown: a binary file, a zip that is no office file.
    Write(File("empty.txt"), "");
    EXPECT_EQ(Read(File("empty.txt")).reason, SkipReason::kEmpty);
    Write(File("blank.txt"), " \n\t\n");
    EXPECT_EQ(Read(File("blank.txt")).reason, SkipReason::kEmpty);
    Write(File("program.bin"), std::string("\x7F" "ELF\x02\x01\x01\0\0\0", 10) + std::string(100, '\x01'));
    EXPECT_EQ(Read(File("program.bin")).reason, SkipReason::kUnknownType);
    test::WriteZip(File("archive.zip"), {{"readme.txt", "hello"}});
    EXPECT_EQ(Read(File("archive.zip")).reason, SkipReason::kUnknownType);

    // Too big: only the pages and characters the limits allow, and the reason says so.
    ExtractionLimits small;
    small.pages = 2;
    small.chars = 1000;
    Write(File("long.pdf"), test::PdfBytes({"page one", "page two", "page three", "page four"}));
    const mwdx::Extraction cut = Read(File("long.pdf"), small);
    EXPECT_EQ(cut.reason, SkipReason::kTooBig);
    EXPECT_EQ(cut.pages, 2);
    EXPECT_NE(cut.text.find("page two"), std::string::npos);
    EXPECT_EQ(cut.text.find("page three"), std::string::npos);
    std::string many;
    for (int i = 0; i < 500; ++i) {
        many += "字";
    }
    Write(File("long.txt"), many + many + many);
    const mwdx::Extraction longText = Read(File("long.txt"), small);
    EXPECT_EQ(longText.reason, SkipReason::kTooBig);
    EXPECT_EQ(longText.text.size(), 3000u) << "1000 characters of 3 bytes, none split";

    // Missing and unreadable.
    EXPECT_EQ(Read(File("nowhere.pdf")).reason, SkipReason::kMissing);
    fs::create_directory(File("folder.pdf"));
    EXPECT_EQ(Read(File("folder.pdf")).reason, SkipReason::kUnreadable);
}

TEST_F(Extraction, AWorkerThatHangsIsKilledAtTheTimeLimitAndTheNextFileIsReadByAFreshOne) {
    // A named pipe with no writer: opening it waits for ever, as a file on a dead network share does.
    ASSERT_EQ(::mkfifo(File("stuck.txt").c_str(), 0600), 0);
    Write(File("fine.txt"), "readable words");
    ExtractionLimits limits;
    limits.seconds = 1;
    ExtractionWorker worker(kWorker, limits);
    const std::optional<mwdx::Extraction> stuck = worker.Extract(File("stuck.txt"));
    ASSERT_TRUE(stuck.has_value()) << worker.Failure();
    EXPECT_EQ(stuck->reason, SkipReason::kTimeLimit);
    EXPECT_EQ(worker.WorkerId(), 0) << "the worker was killed";
    const std::optional<mwdx::Extraction> fine = worker.Extract(File("fine.txt"));
    ASSERT_TRUE(fine.has_value());
    EXPECT_EQ(fine->text, "readable words");
    const pid_t first = worker.WorkerId();
    EXPECT_GT(first, 0);
    EXPECT_EQ(worker.Extract(File("fine.txt"))->text, "readable words");
    EXPECT_EQ(worker.WorkerId(), first) << "one worker reads file after file";

    // A worker killed from outside in the middle of a file: the file is recorded as what broke it.
    limits.seconds = 30;
    ExtractionWorker victim(kWorker, limits);
    ASSERT_TRUE(victim.Extract(File("fine.txt")).has_value());
    const pid_t victimId = victim.WorkerId();
    std::thread shooter([victimId] {
        ::usleep(200000);
        ::kill(victimId, SIGKILL);
    });
    const std::optional<mwdx::Extraction> shot = victim.Extract(File("stuck.txt"));
    shooter.join();
    ASSERT_TRUE(shot.has_value());
    EXPECT_EQ(shot->reason, SkipReason::kMalformed);

    // Cancelling never waits for a slow file.
    std::atomic<bool> stop{false};
    std::thread canceller([&] {
        ::usleep(200000);
        stop = true;
    });
    EXPECT_FALSE(victim.Extract(File("stuck.txt"), &stop).has_value());
    canceller.join();
    EXPECT_EQ(victim.WorkerId(), 0);

    // A worker program that cannot run is a failure to start, never a reason given to the files.
    ExtractionWorker missing(File("no-such-worker"), limits);
    EXPECT_FALSE(missing.Extract(File("fine.txt")).has_value());
    EXPECT_FALSE(missing.Failure().empty());
}

} // namespace
} // namespace mwdx
