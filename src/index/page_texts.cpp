#include "index/page_texts.h"

namespace mwdx {

std::u16string PageTextTable::Text(int stringId) const {
    switch (stringId) {
    case kPageTitleTextId:
        return m_useEnglish ? u"Marrowdex" : u"zuzuv";
    case kPageExpandAllTextId:
        return m_useEnglish ? u"Expand All" : u"展开所有节点";
    case kPageCloseAllTextId:
        return m_useEnglish ? u"Close All" : u"收起所有节点";
    default:
        return {};
    }
}

} // namespace mwdx
