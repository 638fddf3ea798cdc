// The content index file: what it finds (nothing missed, compared with a plain scan of the stored
// texts), snippets and pages, and how it is thrown away and made again when it cannot be used.

#include "platform/text.h"
#include "support/test_support.h"
#include "textindex/text_index.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <set>

namespace mwdx {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

Extraction TextOf(const std::string& text, DocFormat format = DocFormat::kPlainText) {
    Extraction extraction;
    extraction.format = format;
    extraction.text = text;
    extraction.pages = format == DocFormat::kPdf ? 1 + static_cast<int>(std::count(text.begin(), text.end(), '\f')) : 0;
    return extraction;
}

std::set<NodeId> Found(TextIndex& index, const std::string& query) {
    const std::vector<NodeId> ids = index.MatchingIds(ParseQuery(query));
    return {ids.begin(), ids.end()};
}

TEST(TextIndexFile, FindsDocumentsByWhatIsWrittenInThemInEnglishAndChinese) {
    TempDir dir;
    const std::string path = TextIndexPathFor(dir.File("mymwdx.db"));
    EXPECT_EQ(path, dir.File("mymwdx_text.db"));
    std::unique_ptr<TextIndex> index = TextIndex::Open(path, TextIndex::Mode::kWrite);
    ASSERT_TRUE(index);
    const FileIdentity identity{10, 20, 30};
    ASSERT_TRUE(index->Put(1, "/kb/physics.pdf", identity,
                           TextOf("Lecture one\fThe Quantum Field theory, taught in Zürich\fappendix", DocFormat::kPdf)));
    ASSERT_TRUE(index->Put(2, "/kb/notes.txt", identity, TextOf("量子场论的笔记：中文字典和 quantum dots")));
    ASSERT_TRUE(index->Put(3, "/kb/recipes.md", identity, TextOf("Ｃａｆé au lait, field mushrooms")));
    Extraction skipped;
    skipped.reason = SkipReason::kEncrypted;
    skipped.format = DocFormat::kPdf;
    ASSERT_TRUE(index->Put(4, "/kb/locked.pdf", identity, skipped));

    EXPECT_EQ(Found(*index, "field quantum"), (std::set<NodeId>{1})) << "words in any order";
    EXPECT_EQ(Found(*index, "quant"), (std::set<NodeId>{1, 2})) << "the last word is a prefix";
    EXPECT_EQ(Found(*index, "quant "), (std::set<NodeId>{})) << "a finished word is a word";
    EXPECT_EQ(Found(*index, "\"quantum field\""), (std::set<NodeId>{1}));
    EXPECT_EQ(Found(*index, "\"field quantum\""), (std::set<NodeId>{}));
    EXPECT_EQ(Found(*index, "CAFE"), (std::set<NodeId>{3})) << "case, accents and width folded";
    EXPECT_EQ(Found(*index, "zurich"), (std::set<NodeId>{1}));
    EXPECT_EQ(Found(*index, "量"), (std::set<NodeId>{2}));
    EXPECT_EQ(Found(*index, "典"), (std::set<NodeId>{2})) << "the last character of a run alone";
    EXPECT_EQ(Found(*index, "场论"), (std::set<NodeId>{2}));
    EXPECT_EQ(Found(*index, "中文字"), (std::set<NodeId>{2}));
    EXPECT_EQ(Found(*index, "中文字典"), (std::set<NodeId>{2}));
    EXPECT_EQ(Found(*index, "文中"), (std::set<NodeId>{}));
    EXPECT_EQ(Found(*index, "笔记 quantum"), (std::set<NodeId>{2})) << "Chinese and words mixed";
    EXPECT_EQ(Found(*index, "locked"), (std::set<NodeId>{}));

    const ContentResults results = index->Search(ParseQuery("quantum"));
    ASSERT_EQ(results.hits.size(), 2u);
    EXPECT_EQ(results.matches, 2u);
    EXPECT_FALSE(results.capped);
    const auto pdf = std::find_if(results.hits.begin(), results.hits.end(), [](const ContentHit& h) { return h.id == 1; });
    ASSERT_NE(pdf, results.hits.end());
    EXPECT_TRUE(pdf->paged);
    EXPECT_EQ(pdf->snippet.page, 2);
    EXPECT_EQ(pdf->path, "/kb/physics.pdf");
    ASSERT_EQ(pdf->snippet.highlights.size(), 1u);
    EXPECT_EQ(pdf->snippet.text.substr(pdf->snippet.highlights[0].begin, pdf->snippet.highlights[0].length), "Quantum");
    EXPECT_EQ(index->Search(ParseQuery("quantum"), 1).hits.size(), 1u);

    // What the index knows of each document.
    const std::optional<IndexedDocument> locked = index->Document(4);
    ASSERT_TRUE(locked);
    EXPECT_EQ(locked->reason, SkipReason::kEncrypted);
    EXPECT_FALSE(locked->hasText);
    EXPECT_EQ(index->Document(1)->pages, 3);
    EXPECT_EQ(index->Documents().size(), 4u);

    // A new text replaces the old one whole; a moved file keeps its text; a removed one is gone.
    ASSERT_TRUE(index->Put(1, "/kb/physics.pdf", {11, 21, 30}, TextOf("Relativity only", DocFormat::kPdf)));
    EXPECT_EQ(Found(*index, "quantum"), (std::set<NodeId>{2}));
    EXPECT_EQ(Found(*index, "relativity"), (std::set<NodeId>{1}));
    ASSERT_TRUE(index->SetPath(1, "/kb/moved/physics.pdf"));
    EXPECT_EQ(index->Search(ParseQuery("relativity")).hits.at(0).path, "/kb/moved/physics.pdf");
    ASSERT_TRUE(index->Remove({2, 4}));
    EXPECT_EQ(Found(*index, "quantum"), (std::set<NodeId>{}));
    EXPECT_FALSE(index->Document(2));
    EXPECT_FALSE(index->Text(2));
    EXPECT_EQ(*index->Text(3), "Ｃａｆé au lait, field mushrooms");
    std::string problem;
    EXPECT_TRUE(index->Verify(&problem)) << problem;

    // Another connection reads while this one writes.
    const std::unique_ptr<TextIndex> reader = TextIndex::Open(path, TextIndex::Mode::kRead);
    ASSERT_TRUE(reader);
    EXPECT_EQ(Found(*reader, "mushroom"), (std::set<NodeId>{3}));
    ASSERT_TRUE(index->Put(5, "/kb/new.txt", identity, TextOf("brand new mushroom soup")));
    EXPECT_EQ(Found(*reader, "mushroom"), (std::set<NodeId>{3, 5}));
}

TEST(TextIndexFile, AFileThatIsNoUsableIndexIsMadeAgainAndNeverReadAsOne) {
    TempDir dir;
    const std::string path = dir.File("mymwdx_text.db");
    EXPECT_FALSE(TextIndex::Open(path, TextIndex::Mode::kRead)) << "reading makes nothing";
    EXPECT_FALSE(fs::exists(path));

    std::ofstream(path) << "this is not a database, only some text that happens to be here";
    std::string error;
    EXPECT_FALSE(TextIndex::Open(path, TextIndex::Mode::kRead, &error));
    EXPECT_FALSE(error.empty());
    {
        const std::unique_ptr<TextIndex> index = TextIndex::Open(path, TextIndex::Mode::kWrite, &error);
        ASSERT_TRUE(index) << error;
        ASSERT_TRUE(index->Put(1, "/a", {1, 1, 1}, TextOf("apples and pears")));
    }
    // Terms made by another folding (an older program, another ICU) are made again from the texts.
    test::RunSql(path, "update meta set value = 'older' where key = 'terms';"
                       "insert into terms(terms, rowid, body) values('delete', 1, 'apples and pears');"
                       "insert into terms(rowid, body) values(1, 'something else');");
    {
        const std::unique_ptr<TextIndex> index = TextIndex::Open(path, TextIndex::Mode::kWrite, &error);
        ASSERT_TRUE(index) << error;
        EXPECT_EQ(Found(*index, "pears"), (std::set<NodeId>{1}));
        EXPECT_EQ(Found(*index, "something"), (std::set<NodeId>{}));
        std::string problem;
        EXPECT_TRUE(index->Verify(&problem)) << problem;
    }
    // A database of another layout (or another program's) is not an index: replaced when writing.
    fs::remove(path);
    test::RunSql(path, "create table meta(key text primary key, value text); insert into meta values('layout', '0');");
    EXPECT_FALSE(TextIndex::Open(path, TextIndex::Mode::kRead));
    const std::unique_ptr<TextIndex> index = TextIndex::Open(path, TextIndex::Mode::kWrite, &error);
    ASSERT_TRUE(index) << error;
    EXPECT_TRUE(index->Documents().empty());

    // Damage inside a stored text is found by the check.
    ASSERT_TRUE(index->Put(7, "/b", {1, 1, 1}, TextOf("a text to damage")));
    test::RunSql(path, "update texts set body = x'0102' where id = 7;");
    EXPECT_FALSE(index->Text(7));
    std::string problem;
    EXPECT_TRUE(index->Verify(&problem)) << "the rows still agree: " << problem;
    test::RunSql(path, "delete from texts where id = 7;");
    EXPECT_FALSE(index->Verify(&problem));
    EXPECT_NE(problem.find("without its text"), std::string::npos) << problem;
}

// ---- Nothing missed: the index against a plain scan of the texts it stores. ----

const std::vector<std::string> kWords = {
    "alpha", "beta", "gamma", "delta", "Quantum", "quantity", "quant", "field", "fields", "café", "CAFE", "naïve",
    "naive", "Zürich", "data", "ＤＡＴＡ", "database", "report", "reporting", "year", "years", "2024", "x1", "résumé",
    "resume", "Straße", "strasse", "river", "rivers", "stone"};
const std::u32string kHan = U"中文字典数据库知识管理学习研究报告年月日大小上下人民银行的是了在有";

std::string Utf8(std::u32string_view text) {
    std::string out;
    for (const char32_t c : text) {
        AppendUtf8(out, c);
    }
    return out;
}

std::u32string Utf32(std::string_view text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        for (std::size_t k = 1; k < length; ++k) {
            c = c << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        out.push_back(c);
        i += length;
    }
    return out;
}

std::string RandomDocument(std::mt19937& random) {
    std::string text;
    const int units = 20 + static_cast<int>(random() % 120);
    const char* separators[] = {" ", " ", " ", ", ", ".\n", "\n", "; ", " - ", "\f", "（", "。"};
    for (int i = 0; i < units; ++i) {
        if (random() % 3 == 0) {
            std::u32string run;
            const int length = 1 + static_cast<int>(random() % 6);
            for (int k = 0; k < length; ++k) {
                run.push_back(kHan[random() % kHan.size()]);
            }
            std::string piece = Utf8(run);
            // Lines broken inside a Chinese sentence, as PDFs do.
            if (length > 2 && random() % 4 == 0) {
                piece.insert(3 * static_cast<std::size_t>(length / 2), "\n");
            }
            text += piece;
        } else {
            text += kWords[random() % kWords.size()];
        }
        text += separators[random() % std::size(separators)];
    }
    return text;
}

// A document as a plain scan sees it: the folded text as a list of units (each word, each CJK
// character), and the CJK characters with the white space between them taken out.
struct Scanned {
    std::vector<std::u32string> units;
    std::u32string cjk; // runs of CJK characters, anything else between them as one '|'
};

Scanned Scan(const std::string& text) {
    Scanned scanned;
    const std::u32string folded = Utf32(FoldText(text));
    std::u32string word;
    for (const char32_t c : folded) {
        if (IsWordCodePoint(c)) {
            word.push_back(c);
            continue;
        }
        if (!word.empty()) {
            scanned.units.push_back(word);
            word.clear();
            scanned.cjk.push_back(U'|');
        }
        if (IsCjkCodePoint(c)) {
            scanned.units.push_back(std::u32string(1, c));
            scanned.cjk.push_back(c);
        } else if (c != U' ' && c != U'\n' && c != U'\f' && c != U'\t') {
            // Punctuation ends a run; white space between two CJK characters does not.
            scanned.cjk.push_back(U'|');
        }
    }
    if (!word.empty()) {
        scanned.units.push_back(word);
    }
    return scanned;
}

// One thing a generated query asks for, and how a scan answers it.
struct Want {
    enum Kind { kWord, kPrefix, kCjk, kPhrase } kind;
    std::vector<std::u32string> parts; // folded
};

bool Has(const Scanned& doc, const Want& want) {
    switch (want.kind) {
    case Want::kWord:
        return std::find(doc.units.begin(), doc.units.end(), want.parts[0]) != doc.units.end();
    case Want::kPrefix:
        return std::any_of(doc.units.begin(), doc.units.end(),
                           [&](const std::u32string& unit) { return unit.starts_with(want.parts[0]); });
    case Want::kCjk:
        return doc.cjk.find(want.parts[0]) != std::u32string::npos;
    case Want::kPhrase:
        for (std::size_t i = 0; i + want.parts.size() <= doc.units.size(); ++i) {
            if (std::equal(want.parts.begin(), want.parts.end(), doc.units.begin() + static_cast<std::ptrdiff_t>(i))) {
                return true;
            }
        }
        return false;
    }
    return false;
}

struct GeneratedQuery {
    std::string text;
    std::vector<Want> wants;
};

std::u32string FoldedWord(const std::string& word) {
    return Utf32(FoldText(word));
}

GeneratedQuery RandomQuery(std::mt19937& random, const std::vector<Scanned>& docs) {
    GeneratedQuery query;
    const int parts = 1 + static_cast<int>(random() % 2);
    for (int p = 0; p < parts; ++p) {
        const bool last = p + 1 == parts;
        switch (random() % 5) {
        case 0: { // a word, finished
            const std::string& word = kWords[random() % kWords.size()];
            query.text += word + " ";
            query.wants.push_back({Want::kWord, {FoldedWord(word)}});
            break;
        }
        case 1: { // the start of a word, as typed last
            const std::string& word = kWords[random() % kWords.size()];
            const std::u32string folded = FoldedWord(word);
            const std::u32string start = folded.substr(0, 1 + random() % std::min<std::size_t>(folded.size(), 4));
            if (last) {
                query.text += Utf8(start);
                query.wants.push_back({Want::kPrefix, {start}});
            } else {
                query.text += Utf8(start) + " ";
                query.wants.push_back({Want::kWord, {start}});
            }
            break;
        }
        case 2:
        case 3: { // 1 to 4 Chinese characters, mostly taken from a document
            const Scanned& doc = docs[random() % docs.size()];
            const std::size_t length = 1 + random() % 4;
            std::u32string piece;
            if (random() % 4 != 0 && doc.cjk.size() > length) {
                const std::size_t at = random() % (doc.cjk.size() - length);
                piece = doc.cjk.substr(at, length);
                if (piece.find(U'|') != std::u32string::npos) {
                    piece = piece.substr(0, piece.find(U'|'));
                }
            }
            if (piece.empty()) {
                for (std::size_t k = 0; k < length; ++k) {
                    piece.push_back(kHan[random() % kHan.size()]);
                }
            }
            query.text += Utf8(piece) + " ";
            query.wants.push_back({Want::kCjk, {piece}});
            break;
        }
        default: { // a quoted phrase of two words taken from a document
            const Scanned& doc = docs[random() % docs.size()];
            for (int tries = 0; tries < 50; ++tries) {
                const std::size_t at = random() % doc.units.size();
                if (at + 1 < doc.units.size() && !IsCjkCodePoint(doc.units[at][0]) &&
                    !IsCjkCodePoint(doc.units[at + 1][0])) {
                    query.text += "\"" + Utf8(doc.units[at]) + " " + Utf8(doc.units[at + 1]) + "\" ";
                    query.wants.push_back({Want::kPhrase, {doc.units[at], doc.units[at + 1]}});
                    break;
                }
            }
            break;
        }
        }
    }
    return query;
}

TEST(TextIndexFile, NothingIsMissedEveryQueryFindsWhatAPlainScanOfTheStoredTextsFinds) {
    TempDir dir;
    const std::unique_ptr<TextIndex> index = TextIndex::Open(dir.File("mymwdx_text.db"), TextIndex::Mode::kWrite);
    ASSERT_TRUE(index);
    std::mt19937 random(20260422);
    constexpr NodeId kDocuments = 400;
    for (NodeId id = 1; id <= kDocuments; ++id) {
        ASSERT_TRUE(index->Put(id, "/kb/" + std::to_string(id), {id, id, id}, TextOf(RandomDocument(random))));
    }
    const auto compare = [&](int queries) {
        std::vector<Scanned> scanned(static_cast<std::size_t>(kDocuments) + 1);
        std::vector<bool> present(scanned.size(), false);
        for (NodeId id = 1; id <= kDocuments; ++id) {
            if (const std::optional<std::string> text = index->Text(id)) {
                scanned[static_cast<std::size_t>(id)] = Scan(*text);
                present[static_cast<std::size_t>(id)] = true;
            }
        }
        std::vector<Scanned> docs;
        for (NodeId id = 1; id <= kDocuments; ++id) {
            if (present[static_cast<std::size_t>(id)]) {
                docs.push_back(scanned[static_cast<std::size_t>(id)]);
            }
        }
        int nonEmpty = 0;
        for (int q = 0; q < queries; ++q) {
            const GeneratedQuery query = RandomQuery(random, docs);
            std::set<NodeId> expected;
            for (NodeId id = 1; id <= kDocuments; ++id) {
                const Scanned& doc = scanned[static_cast<std::size_t>(id)];
                if (present[static_cast<std::size_t>(id)] &&
                    std::all_of(query.wants.begin(), query.wants.end(), [&](const Want& want) { return Has(doc, want); })) {
                    expected.insert(id);
                }
            }
            nonEmpty += !expected.empty();
            ASSERT_EQ(Found(*index, query.text), expected) << "query: " << query.text;
        }
        EXPECT_GT(nonEmpty, queries / 3) << "the queries find something often enough to mean something";
    };
    compare(400);
    // Texts replaced and documents removed: their old terms must be gone from the index too.
    for (NodeId id = 1; id <= kDocuments; id += 3) {
        ASSERT_TRUE(index->Put(id, "/kb/" + std::to_string(id), {id, id + 1, id}, TextOf(RandomDocument(random))));
    }
    std::vector<NodeId> removed;
    for (NodeId id = 2; id <= kDocuments; id += 7) {
        removed.push_back(id);
    }
    ASSERT_TRUE(index->Remove(removed));
    compare(300);
    std::string problem;
    EXPECT_TRUE(index->Verify(&problem)) << problem;
}

} // namespace
} // namespace mwdx
