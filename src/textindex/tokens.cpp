#include "textindex/tokens.h"

#include "platform/text.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/uscript.h>
#include <unicode/utf16.h>

namespace mwdx {

namespace {

enum class CharClass : std::uint8_t { kSeparator, kSpace, kWord, kCjk };

struct Folded {
    std::uint32_t start = 0; // into the block's pool
    std::uint8_t length = 0;
};

// The folding of 256 code points, made on first use: ICU's normalisers are the slow part, and a
// text uses few blocks.
struct FoldBlock {
    std::array<Folded, 256> entries;
    std::vector<char32_t> pool;
    std::vector<CharClass> classes; // beside pool
};

bool StripsAsAccent(char32_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F);
}

CharClass ClassOf(char32_t c) {
    if (c < 0x80) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            return CharClass::kWord;
        }
        return c == ' ' || (c >= '\t' && c <= '\r') ? CharClass::kSpace : CharClass::kSeparator;
    }
    const UChar32 u = static_cast<UChar32>(c);
    if (u_isUWhiteSpace(u)) {
        return CharClass::kSpace;
    }
    const bool alphabetic = u_hasBinaryProperty(u, UCHAR_ALPHABETIC);
    if (alphabetic) {
        UErrorCode error = U_ZERO_ERROR;
        const UScriptCode script = uscript_getScript(u, &error);
        if (script == USCRIPT_HAN || script == USCRIPT_HIRAGANA || script == USCRIPT_KATAKANA ||
            script == USCRIPT_KATAKANA_OR_HIRAGANA || script == USCRIPT_HANGUL || script == USCRIPT_BOPOMOFO ||
            uscript_hasScript(u, USCRIPT_HAN) || uscript_hasScript(u, USCRIPT_KATAKANA) ||
            uscript_hasScript(u, USCRIPT_HIRAGANA)) {
            return CharClass::kCjk;
        }
        return CharClass::kWord;
    }
    const std::int8_t type = u_charType(u);
    if (type == U_DECIMAL_DIGIT_NUMBER || type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK) {
        return CharClass::kWord;
    }
    return CharClass::kSeparator;
}

// NFKC with case folding, then accents taken off and composed again: one code point's folding.
std::u32string FoldCodePoint(char32_t c) {
    static const UNormalizer2* const compatibility = [] {
        UErrorCode error = U_ZERO_ERROR;
        return unorm2_getNFKCCasefoldInstance(&error);
    }();
    static const UNormalizer2* const decompose = [] {
        UErrorCode error = U_ZERO_ERROR;
        return unorm2_getNFDInstance(&error);
    }();
    static const UNormalizer2* const compose = [] {
        UErrorCode error = U_ZERO_ERROR;
        return unorm2_getNFCInstance(&error);
    }();
    if (compatibility == nullptr || decompose == nullptr || compose == nullptr || (c >= 0xD800 && c <= 0xDFFF)) {
        return std::u32string(1, c);
    }
    UChar source[2];
    std::int32_t sourceLength = 0;
    U16_APPEND_UNSAFE(source, sourceLength, static_cast<UChar32>(c));
    UChar folded[64];
    UErrorCode error = U_ZERO_ERROR;
    const std::int32_t foldedLength = unorm2_normalize(compatibility, source, sourceLength, folded, 64, &error);
    UChar decomposed[128];
    const std::int32_t decomposedLength =
        U_SUCCESS(error) ? unorm2_normalize(decompose, folded, foldedLength, decomposed, 128, &error) : 0;
    if (U_FAILURE(error)) {
        return std::u32string(1, c);
    }
    UChar kept[128];
    std::int32_t keptLength = 0;
    for (std::int32_t i = 0; i < decomposedLength;) {
        UChar32 u;
        U16_NEXT_UNSAFE(decomposed, i, u);
        if (!StripsAsAccent(static_cast<char32_t>(u))) {
            U16_APPEND_UNSAFE(kept, keptLength, u);
        }
    }
    UChar composed[128];
    const std::int32_t composedLength = unorm2_normalize(compose, kept, keptLength, composed, 128, &error);
    if (U_FAILURE(error)) {
        return std::u32string(1, c);
    }
    std::u32string out;
    for (std::int32_t i = 0; i < composedLength;) {
        UChar32 u;
        U16_NEXT_UNSAFE(composed, i, u);
        out.push_back(static_cast<char32_t>(u));
    }
    return out;
}

constexpr std::size_t kBlocks = 0x110000 / 256;

class FoldTable final {
public:
    const FoldBlock& Block(char32_t c) {
        const std::size_t index = c >> 8;
        FoldBlock* block = m_blocks[index].load(std::memory_order_acquire);
        if (block == nullptr) {
            std::call_once(m_made[index], [this, index] {
                auto made = std::make_unique<FoldBlock>();
                for (char32_t low = 0; low < 256; ++low) {
                    const std::u32string folded = FoldCodePoint(static_cast<char32_t>(index << 8 | low));
                    made->entries[low] = {static_cast<std::uint32_t>(made->pool.size()),
                                          static_cast<std::uint8_t>(folded.size())};
                    for (const char32_t f : folded) {
                        made->pool.push_back(f);
                        made->classes.push_back(ClassOf(f));
                    }
                }
                m_blocks[index].store(made.release(), std::memory_order_release);
            });
            block = m_blocks[index].load(std::memory_order_acquire);
        }
        return *block;
    }

private:
    std::array<std::atomic<FoldBlock*>, kBlocks> m_blocks{};
    std::array<std::once_flag, kBlocks> m_made;
};

FoldTable& Table() {
    // Never freed: the table lives as long as the process, and threads may use it to the end.
    static FoldTable* const table = new FoldTable;
    return *table;
}

// Calls visit(folded code point, its class, begin, end) for each code point the folding of `text`
// yields, [begin, end) being the bytes of the original it came from; stops when visit returns false.
template <class Visit> void ForEachFolded(std::string_view text, Visit&& visit) {
    FoldTable& table = Table();
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            char32_t c = lead;
            if (c >= 'A' && c <= 'Z') {
                c += 'a' - 'A';
            }
            if (!visit(c, ClassOf(c), i, i + 1)) {
                return;
            }
            ++i;
            continue;
        }
        char32_t c = 0;
        const std::size_t length = DecodeUtf8At(text, i, &c);
        if (length == 0) {
            if (!visit(U'\uFFFD', CharClass::kSeparator, i, i + 1)) {
                return;
            }
            ++i;
            continue;
        }
        const FoldBlock& block = table.Block(c);
        const Folded& folded = block.entries[c & 0xFF];
        for (std::uint32_t k = 0; k < folded.length; ++k) {
            if (!visit(block.pool[folded.start + k], block.classes[folded.start + k], i, i + length)) {
                return;
            }
        }
        i += length;
    }
}

class Tokenizer final {
public:
    Tokenizer(bool bridgeSpaces, const std::function<bool(const Token&)>& take)
        : m_bridge(bridgeSpaces), m_take(take) {}

    bool Feed(char32_t c, CharClass kind, std::size_t begin, std::size_t end) {
        switch (kind) {
        case CharClass::kWord:
            EndRun();
            if (m_wordChars == kMaxWordChars) {
                EndWord();
            }
            if (m_wordChars == 0) {
                m_word.begin = begin;
            }
            AppendUtf8(m_word.text, c);
            m_word.end = end;
            ++m_wordChars;
            break;
        case CharClass::kCjk:
            EndWord();
            if (m_runLength > 0) {
                Token pair;
                pair.kind = TokenKind::kPair;
                pair.text = m_previous.text;
                AppendUtf8(pair.text, c);
                pair.begin = m_previous.begin;
                pair.split = begin;
                pair.end = end;
                Emit(pair);
            }
            m_previous.text.clear();
            AppendUtf8(m_previous.text, c);
            m_previous.begin = begin;
            m_previous.split = begin;
            m_previous.end = end;
            ++m_runLength;
            break;
        case CharClass::kSpace:
            EndWord();
            if (!m_bridge) {
                EndRun();
            }
            break;
        case CharClass::kSeparator:
            EndWord();
            EndRun();
            break;
        }
        return !m_stopped;
    }

    void Finish() {
        EndWord();
        EndRun();
    }

private:
    void Emit(const Token& token) {
        if (!m_stopped && !m_take(token)) {
            m_stopped = true;
        }
    }
    void EndWord() {
        if (m_wordChars > 0) {
            m_word.kind = TokenKind::kWord;
            m_word.split = m_word.begin;
            Emit(m_word);
            m_word.text.clear();
            m_wordChars = 0;
        }
    }
    void EndRun() {
        if (m_runLength > 0) {
            m_previous.kind = TokenKind::kLast;
            Emit(m_previous);
            m_runLength = 0;
        }
    }

    bool m_bridge;
    const std::function<bool(const Token&)>& m_take;
    Token m_word;
    std::size_t m_wordChars = 0;
    Token m_previous;
    std::size_t m_runLength = 0;
    bool m_stopped = false;
};

} // namespace

bool IsCjkCodePoint(char32_t c) {
    return ClassOf(c) == CharClass::kCjk;
}

bool IsWordCodePoint(char32_t c) {
    return ClassOf(c) == CharClass::kWord;
}

void ForEachToken(std::string_view text, bool bridgeSpaces, const std::function<bool(const Token&)>& take) {
    Tokenizer tokenizer(bridgeSpaces, take);
    ForEachFolded(text, [&](char32_t c, CharClass kind, std::size_t begin, std::size_t end) {
        return tokenizer.Feed(c, kind, begin, end);
    });
    tokenizer.Finish();
}

std::string IndexTerms(std::string_view text) {
    std::string terms;
    terms.reserve(text.size() + text.size() / 2);
    ForEachToken(text, true, [&](const Token& token) {
        terms += token.text;
        terms.push_back(' ');
        return true;
    });
    if (!terms.empty()) {
        terms.pop_back();
    }
    return terms;
}

std::string FoldText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    ForEachFolded(text, [&](char32_t c, CharClass, std::size_t, std::size_t) {
        AppendUtf8(out, c);
        return true;
    });
    return out;
}

ParsedQuery ParseQuery(std::string_view query) {
    ParsedQuery parsed;
    // The last term is a prefix while the user is still typing it: no space or quote after it.
    bool lastFromWords = false;
    std::size_t i = 0;
    while (i < query.size()) {
        const bool quoted = query[i] == '"';
        if (quoted) {
            ++i;
        }
        const std::size_t close = query.find('"', i);
        const std::size_t stop = close == std::string_view::npos ? query.size() : close;
        const std::string_view segment = query.substr(i, stop - i);
        i = close == std::string_view::npos ? query.size() : (quoted ? close + 1 : close);
        if (quoted) {
            QueryTerm term;
            term.phrase = true;
            ForEachToken(segment, true, [&](const Token& token) {
                term.tokens.push_back(token);
                return true;
            });
            if (term.tokens.empty()) {
                continue;
            }
            // A run that ends the phrase may go on in a document: its last character alone is then
            // not a term there. One character alone stays, as a prefix of the pairs.
            if (term.tokens.back().kind == TokenKind::kLast) {
                if (term.tokens.size() >= 2 && term.tokens[term.tokens.size() - 2].kind == TokenKind::kPair) {
                    term.tokens.pop_back();
                } else {
                    term.prefix = true;
                }
            }
            parsed.terms.push_back(std::move(term));
            lastFromWords = false;
            continue;
        }
        QueryTerm run;
        ForEachToken(segment, false, [&](const Token& token) {
            if (token.kind == TokenKind::kWord) {
                QueryTerm word;
                word.tokens.push_back(token);
                parsed.terms.push_back(std::move(word));
            } else if (token.kind == TokenKind::kPair) {
                run.tokens.push_back(token);
            } else {
                if (run.tokens.empty()) {
                    run.tokens.push_back(token);
                    run.prefix = true;
                }
                parsed.terms.push_back(std::move(run));
                run = {};
            }
            return true;
        });
        lastFromWords = !segment.empty();
        if (lastFromWords) {
            const char tail = segment.back();
            lastFromWords = !(tail == ' ' || tail == '\t' || tail == '\n');
        }
    }
    if (lastFromWords && !parsed.terms.empty() && !parsed.terms.back().phrase &&
        parsed.terms.back().tokens.back().kind == TokenKind::kWord) {
        parsed.terms.back().prefix = true;
    }
    return parsed;
}

std::string FtsExpression(const ParsedQuery& query) {
    std::string expression;
    for (const QueryTerm& term : query.terms) {
        if (!expression.empty()) {
            expression += " AND ";
        }
        expression.push_back('"');
        for (std::size_t k = 0; k < term.tokens.size(); ++k) {
            if (k > 0) {
                expression.push_back(' ');
            }
            expression += term.tokens[k].text; // tokens never hold a quote
        }
        expression.push_back('"');
        if (term.prefix) {
            expression.push_back('*');
        }
    }
    return expression;
}

} // namespace mwdx
