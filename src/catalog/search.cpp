#include "catalog/search.h"

#include "platform/free_later.h"

#include <algorithm>
#include <functional>
#include <cstring>
#include <memory>
#include <locale.h>
#include <tuple>
#include <utility>
#include <wctype.h>

namespace mwdx {

namespace {

// The C library's case table for all of Unicode, whatever locale the program runs in.
locale_t UnicodeCase() {
    static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

// The code point of the UTF-8 sequence at text[i] and its length; 0 for a byte that starts none.
std::size_t Decode(std::string_view text, std::size_t i, char32_t* code) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length;
    char32_t value;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not characters.
    if ((length == 3 && value < 0x800) || (length == 4 && (value < 0x10000 || value > 0x10FFFF)) ||
        (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    *code = value;
    return length;
}

void Encode(char32_t code, std::string& out) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void AppendFolded(std::string_view text, std::string& out) {
    const locale_t locale = UnicodeCase();
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c));
            ++i;
            continue;
        }
        char32_t code = 0;
        const std::size_t length = Decode(text, i, &code);
        if (length == 0) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        auto lower = locale != nullptr ? static_cast<char32_t>(::towlower_l(static_cast<wint_t>(code), locale)) : code;
        if (lower == U'ς') {
            lower = U'σ'; // a word's last sigma is the same letter
        }
        if (lower == code) {
            out.append(text.substr(i, length));
        } else {
            Encode(lower, out);
        }
        i += length;
    }
}

} // namespace

std::string FoldCase(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    AppendFolded(text, folded);
    return folded;
}

void CatalogSearch::Clear() {
    m_buildRoot = nullptr;
    m_nextToFold = nullptr;
    // Swapped out, not assigned: an assigned empty string keeps the old buffer.
    std::string().swap(m_text);
    std::vector<Entry>().swap(m_entries);
    std::unordered_map<const CatalogNode*, std::size_t>().swap(m_entryOf);
    m_goneBytes = 0;
    m_built = false;
    ++m_generation;
}

void CatalogSearch::ClearInBackground() {
    struct Folded {
        std::string text;
        std::vector<Entry> entries;
        std::unordered_map<const CatalogNode*, std::size_t> entryOf;
    };
    auto folded = std::make_unique<Folded>();
    folded->text.swap(m_text);
    folded->entries.swap(m_entries);
    folded->entryOf.swap(m_entryOf);
    Clear();
    // The nodes the map names are never looked at: only its own memory goes.
    FreeInBackground(std::move(folded));
}

void CatalogSearch::Append(const CatalogNode& node) {
    m_entryOf[&node] = m_entries.size();
    m_entries.push_back({m_text.size(), &node});
    AppendFolded(node.Details().fileName, m_text);
    m_text.push_back('\0');
    AppendFolded(node.Details().comment, m_text);
    m_text.push_back('\0');
}

void CatalogSearch::Build(const CatalogNode& root) {
    Clear();
    std::size_t nodes = 0;
    ForEachDescendant(root, [&](const CatalogNode&) { ++nodes; });
    while (!BuildSome(root, nodes + 1, nodes)) {
    }
}

bool CatalogSearch::BuildSome(const CatalogNode& root, std::size_t nodes, std::size_t total) {
    if (m_built) {
        return true;
    }
    if (m_nextToFold == nullptr || m_buildRoot != &root) {
        Clear();
        m_buildRoot = &root;
        m_nextToFold = root.FirstChild();
        m_entries.reserve(total);
        m_entryOf.reserve(total);
        m_text.reserve(total * 48);
    }
    for (; m_nextToFold != nullptr && nodes > 0; --nodes) {
        Append(*m_nextToFold);
        m_nextToFold = NextInWalk(root, *m_nextToFold);
    }
    m_built = m_nextToFold == nullptr;
    return m_built;
}

void CatalogSearch::Forget(const CatalogNode& node) {
    const auto found = m_entryOf.find(&node);
    if (found == m_entryOf.end()) {
        return;
    }
    const std::size_t place = found->second;
    const std::size_t end = place + 1 < m_entries.size() ? m_entries[place + 1].offset : m_text.size();
    m_goneBytes += end - m_entries[place].offset;
    m_entries[place].node = nullptr;
    m_entryOf.erase(found);
}

void CatalogSearch::SqueezeWhenSparse() {
    if (m_goneBytes < (std::size_t{1} << 20) || m_goneBytes < m_text.size() / 2) {
        return;
    }
    std::string text;
    text.reserve(m_text.size() - m_goneBytes);
    std::vector<Entry> entries;
    entries.reserve(m_entryOf.size());
    for (std::size_t place = 0; place < m_entries.size(); ++place) {
        if (m_entries[place].node == nullptr) {
            continue;
        }
        const std::size_t begin = m_entries[place].offset;
        const std::size_t end = place + 1 < m_entries.size() ? m_entries[place + 1].offset : m_text.size();
        m_entryOf[m_entries[place].node] = entries.size();
        entries.push_back({text.size(), m_entries[place].node});
        text.append(m_text, begin, end - begin);
    }
    m_text = std::move(text);
    m_entries = std::move(entries);
    m_goneBytes = 0;
}

void CatalogSearch::NodeAdded(const CatalogNode& node) {
    ++m_generation;
    m_nextToFold = nullptr; // a build under way starts again
    if (m_built) {
        Append(node);
    }
}

void CatalogSearch::NodeAboutToBeRemoved(const CatalogNode& node) {
    ++m_generation;
    m_nextToFold = nullptr;
    if (!m_built) {
        return;
    }
    Forget(node);
    ForEachDescendant(node, [this](const CatalogNode& below) { Forget(below); });
    SqueezeWhenSparse();
}

void CatalogSearch::NodeChanged(const CatalogNode& node) {
    ++m_generation;
    m_nextToFold = nullptr;
    if (m_built) {
        Forget(node);
        Append(node);
        SqueezeWhenSparse();
    }
}

void CatalogSearch::FindIn(std::string_view folded, std::size_t first, std::size_t last,
                           std::vector<const CatalogNode*>& matches) const {
    last = std::min(last, m_entries.size());
    if (folded.empty() || first >= last) {
        return;
    }
    const char* text = m_text.data();
    const std::size_t end = last < m_entries.size() ? m_entries[last].offset : m_text.size();
    std::size_t place = first;
    std::size_t from = m_entries[first].offset;
    while (from < end) {
        const void* hit = ::memmem(text + from, end - from, folded.data(), folded.size());
        if (hit == nullptr) {
            return;
        }
        const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - text);
        while (place + 1 < last && m_entries[place + 1].offset <= at) {
            ++place;
        }
        if (m_entries[place].node != nullptr) {
            matches.push_back(m_entries[place].node);
        }
        // One match a node: go on from the next one.
        if (++place >= last) {
            return;
        }
        from = m_entries[place].offset;
    }
}

std::vector<const CatalogNode*> CatalogSearch::Find(std::string_view text) const {
    std::vector<const CatalogNode*> matches;
    FindIn(FoldCase(text), 0, m_entries.size(), matches);
    return matches;
}

void ShownTreeBuilder::Add(std::span<const CatalogNode* const> matches) {
    const auto firstTime = [this](const CatalogNode* node) {
        return node->FirstChild() == nullptr || m_seen.insert(node).second;
    };
    m_shown.matches += matches.size();
    // The nodes lie all over the heap, and reading each is a cache miss that the loop below
    // waits for: asking for those a few matches ahead lets the misses overlap.
    constexpr std::size_t kAhead = 8;
    for (std::size_t k = 0; k < matches.size(); ++k) {
        if (k + kAhead < matches.size()) {
            const char* ahead = reinterpret_cast<const char*>(matches[k + kAhead]);
            __builtin_prefetch(ahead);
            __builtin_prefetch(ahead + 63); // the links may reach into the next line
        }
        const CatalogNode* node = matches[k];
        const CatalogNode* parent = node->Parent();
        if (parent == nullptr || !firstTime(node)) {
            continue;
        }
        // Matches come mostly in the catalog's order, so most share the parent of the one before,
        // whose list and catalogs above are already in hand.
        if (parent != m_lastParent) {
            m_lastParent = parent;
            m_siblings = &m_shown.children[parent];
            // Up to the first catalog already shown: everything above it is shown too.
            for (const CatalogNode* up = parent; up != m_root && up->Parent() != nullptr && m_seen.insert(up).second;
                 up = up->Parent()) {
                ShownList& list = m_shown.children[up->Parent()];
                list.nodes.push_back(const_cast<CatalogNode*>(up));
                list.ordinals.push_back(up->Ordinal());
            }
        }
        m_siblings->nodes.push_back(const_cast<CatalogNode*>(node));
        m_siblings->ordinals.push_back(node->Ordinal());
    }
}

ShownTree ShownTreeBuilder::Finish() {
    // Lists come out of order only where the folded text is: nodes added or changed since it was
    // made sit at its end. A document found twice (by its name and by its text) is in its list
    // twice; it is shown, and counted, once.
    std::vector<std::pair<std::uint64_t, CatalogNode*>> sorted;
    for (auto& [parent, list] : m_shown.children) {
        if (std::adjacent_find(list.ordinals.begin(), list.ordinals.end(), std::greater_equal<>()) ==
            list.ordinals.end()) {
            continue;
        }
        sorted.clear();
        for (std::size_t k = 0; k < list.nodes.size(); ++k) {
            sorted.emplace_back(list.ordinals[k], list.nodes[k]);
        }
        std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        m_shown.matches -= list.nodes.size() - sorted.size();
        list.nodes.resize(sorted.size());
        list.ordinals.resize(sorted.size());
        for (std::size_t k = 0; k < sorted.size(); ++k) {
            std::tie(list.ordinals[k], list.nodes[k]) = sorted[k];
        }
    }
    m_seen = {};
    m_lastParent = nullptr;
    m_siblings = nullptr;
    return std::exchange(m_shown, {});
}

} // namespace mwdx
