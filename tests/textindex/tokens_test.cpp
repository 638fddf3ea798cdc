// How text becomes terms and queries become FTS5 expressions, and the snippet cut around a match.

#include "textindex/snippet.h"
#include "textindex/tokens.h"

#include <gtest/gtest.h>

namespace mwdx {
namespace {

TEST(Tokens, TextIsFoldedForCaseAccentsAndWidthBeforeItBecomesTerms) {
    EXPECT_EQ(IndexTerms("Ｃａｆé ÉCOLE Straße naïve"), "cafe ecole strasse naive");
    EXPECT_EQ(IndexTerms("Ｆｕｌｌ－ｗｉｄｔｈ １２３ and ﬁle"), "full width 123 and file");
    EXPECT_EQ(IndexTerms("don't stop_here 3.14"), "don t stop here 3 14");
    EXPECT_EQ(IndexTerms("ΑΘΗΝΑ Москва"), "αθηνα москва");
    // A soft hyphen joins a word again; punctuation and white space separate.
    EXPECT_EQ(IndexTerms("hy\u00ADphen, (brackets)\tand\nlines"), "hyphen brackets and lines");
    EXPECT_EQ(FoldText("Ｃａｆé, ÉCOLE!"), "cafe, ecole!");
}

TEST(Tokens, ChineseRunsBecomeOverlappingPairsWithTheirLastCharacterAlone) {
    EXPECT_EQ(IndexTerms("中文字典"), "中文 文字 字典 典");
    EXPECT_EQ(IndexTerms("中"), "中");
    // Extracted text breaks lines inside sentences: white space does not end a run, punctuation does.
    EXPECT_EQ(IndexTerms("中文\n字典"), "中文 文字 字典 典");
    EXPECT_EQ(IndexTerms("中文，字典"), "中文 文 字典 典");
    EXPECT_EQ(IndexTerms("PDF文件abc"), "pdf 文件 件 abc");
    // Full-width forms fold to the same characters; kana are a run as well.
    EXPECT_EQ(IndexTerms("カタカナ"), "カタ タカ カナ ナ");
    EXPECT_EQ(IndexTerms("㍻"), "平成 成");

    // The terms keep the bytes they came from, for snippets.
    std::vector<Token> tokens;
    ForEachToken("ab 中文", true, [&](const Token& token) {
        tokens.push_back(token);
        return true;
    });
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0].begin, 0u);
    EXPECT_EQ(tokens[0].end, 2u);
    EXPECT_EQ(tokens[1].kind, TokenKind::kPair);
    EXPECT_EQ(tokens[1].begin, 3u);
    EXPECT_EQ(tokens[1].split, 6u);
    EXPECT_EQ(tokens[1].end, 9u);
    EXPECT_EQ(tokens[2].kind, TokenKind::kLast);
    EXPECT_EQ(tokens[2].begin, 6u);

    // Invalid bytes separate and never stop the rest.
    EXPECT_EQ(IndexTerms("ab\xFF\xFE" "cd"), "ab cd");
    // A run of letters longer than any word goes on as the next word.
    EXPECT_EQ(IndexTerms(std::string(70, 'x')), std::string(64, 'x') + " " + std::string(6, 'x'));
}

TEST(Tokens, QueriesAskForEveryWordTheLastAsAPrefixAndChineseOfAnyLength) {
    EXPECT_EQ(FtsExpression(ParseQuery("Quantum fiel")), "\"quantum\" AND \"fiel\"*");
    EXPECT_EQ(FtsExpression(ParseQuery("quantum field ")), "\"quantum\" AND \"field\"") << "a space ends the word";
    EXPECT_EQ(FtsExpression(ParseQuery("中")), "\"中\"*");
    EXPECT_EQ(FtsExpression(ParseQuery("中文")), "\"中文\"");
    EXPECT_EQ(FtsExpression(ParseQuery("中文字典")), "\"中文 文字 字典\"");
    EXPECT_EQ(FtsExpression(ParseQuery("中文 字典")), "\"中文\" AND \"字典\"") << "the user's space separates";
    EXPECT_EQ(FtsExpression(ParseQuery("PDF文件 ÉCOLE")), "\"pdf\" AND \"文件\" AND \"ecole\"*");
    EXPECT_EQ(FtsExpression(ParseQuery("\"big data\" 中文")), "\"big data\" AND \"中文\"");
    EXPECT_EQ(FtsExpression(ParseQuery("\"中文字\"")), "\"中文 文字\"") << "the run may go on in a document";
    EXPECT_EQ(FtsExpression(ParseQuery("\"english 中\"")), "\"english 中\"*");
    EXPECT_EQ(FtsExpression(ParseQuery("\"中文 english\"")), "\"中文 文 english\"");
    EXPECT_EQ(FtsExpression(ParseQuery("\"open quote")), "\"open quote\"");
    EXPECT_TRUE(ParseQuery(" ,;  \"\" ").Empty());
    // FTS5's own syntax is only text here.
    EXPECT_EQ(FtsExpression(ParseQuery("NEAR(a b) OR c*")), "\"near\" AND \"a\" AND \"b\" AND \"or\" AND \"c\"*");
}

TEST(Snippets, MarkEveryMatchAroundTheFirstAndTellItsPage) {
    const std::string text = "Title page\fSecond page mentions nothing.\fThe third page talks about Quantum "
                             "fields and quantum dots. " +
                             std::string(400, 'z') + " quantum again far away";
    const Snippet snippet = MakeSnippet(text, ParseQuery("quant"));
    ASSERT_TRUE(snippet.found);
    EXPECT_EQ(snippet.page, 3);
    EXPECT_EQ(text.substr(snippet.offset, 7), "Quantum");
    ASSERT_EQ(snippet.highlights.size(), 2u) << snippet.text;
    EXPECT_EQ(snippet.text.substr(snippet.highlights[0].begin, snippet.highlights[0].length), "Quantum");
    EXPECT_EQ(snippet.text.substr(snippet.highlights[1].begin, snippet.highlights[1].length), "quantum");
    EXPECT_EQ(snippet.text.find('\f'), std::string::npos) << "white space is one space";
    EXPECT_TRUE(snippet.text.starts_with("\u2026")) << snippet.text;
    EXPECT_TRUE(snippet.text.ends_with("\u2026")) << snippet.text;

    // One Chinese character found as the first of a pair: only it is marked.
    const Snippet chinese = MakeSnippet("我们学习中文字典。", ParseQuery("文"));
    ASSERT_EQ(chinese.highlights.size(), 1u);
    EXPECT_EQ(chinese.text.substr(chinese.highlights[0].begin, chinese.highlights[0].length), "文");
    const Snippet phrase = MakeSnippet("我们学习中文\n字典。", ParseQuery("中文字"));
    ASSERT_EQ(phrase.highlights.size(), 1u);
    EXPECT_EQ(phrase.text.substr(phrase.highlights[0].begin, phrase.highlights[0].length), "中文 字");
    EXPECT_EQ(phrase.page, 1);

    // Cut between words, not inside one: "…mechanics Chapter", never "…nics Chapter".
    const std::string book = "Contents 1 Atoms in motion 2 Basic physics 19 Lagrangian mechanics Chapter 19 The "
                             "principle of least action When I was in high school, my physics teacher called me "
                             "down one day after class and told me something I found fascinating.";
    const Snippet cut = MakeSnippet(book, ParseQuery("\"least action\""), 100);
    ASSERT_TRUE(cut.found);
    EXPECT_TRUE(cut.text.starts_with("…Lagrangian ") || cut.text.starts_with("…mechanics ")) << cut.text;
    EXPECT_TRUE(cut.text.ends_with(" me…") || cut.text.ends_with(" called…")) << cut.text;
    EXPECT_EQ(cut.text.substr(cut.highlights.at(0).begin, cut.highlights.at(0).length), "least action");
    // Text without spaces (Chinese) is cut where the count ends.
    std::string han;
    for (int i = 0; i < 30; ++i) {
        han += "知识管理";
    }
    const Snippet dense = MakeSnippet(han + "读书笔记" + han, ParseQuery("读书"), 40);
    EXPECT_EQ(dense.text, "…" + han.substr(han.size() - 3 * 13) + "读书笔记" + han.substr(0, 3 * 23) + "…");

    const Snippet none = MakeSnippet("nothing here", ParseQuery("absent"));
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.text, "nothing here");
    EXPECT_TRUE(none.highlights.empty());
}

} // namespace
} // namespace mwdx
