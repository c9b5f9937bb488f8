#include "catalog/collation.h"

#include "catalog/text.h"

#include <unicode/ucol.h>
#include <unicode/uscript.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace catalog {
namespace {

struct CollatorCloser
{
    void operator()(UCollator* collator) const { ucol_close(collator); }
};

// Chinese in pinyin order, with Latin letters before Han as the captions were sorted
// where these libraries come from; runs of digits compare as numbers, so that 盘2 comes
// before 盘10.
UCollator* chineseCollator()
{
    thread_local std::unique_ptr<UCollator, CollatorCloser> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<UCollator, CollatorCloser> opened(ucol_open("zh", &status));
        if (U_FAILURE(status)) {
            throw std::runtime_error("ICU has no collator for zh");
        }
        const int32_t order[] = {USCRIPT_LATIN, USCRIPT_HAN};
        ucol_setReorderCodes(opened.get(), order, 2, &status);
        ucol_setAttribute(opened.get(), UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
        if (U_FAILURE(status)) {
            throw std::runtime_error("ICU cannot set the order of the zh collator");
        }
        return opened;
    }();
    return collator.get();
}

bool isSpecialName(std::string_view gbk)
{
    return !gbk.empty() && static_cast<unsigned char>(gbk.front()) == 0xFF;
}

} // namespace

std::string captionSortKey(std::string_view gbk)
{
    const bool special = isSpecialName(gbk);
    const std::u16string text = gbkToUtf16(special ? gbk.substr(1) : gbk);
    const auto* units = reinterpret_cast<const UChar*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    UCollator* collator = chineseCollator();
    std::string key(1, special ? '\x02' : '\x01');
    const int32_t needed = ucol_getSortKey(collator, units, length, nullptr, 0);
    key.resize(1 + static_cast<std::size_t>(needed));
    ucol_getSortKey(collator, units, length, reinterpret_cast<uint8_t*>(key.data() + 1), needed);
    return key;
}

int compareCaptions(std::string_view a, std::string_view b)
{
    const std::string keyA = captionSortKey(a);
    const std::string keyB = captionSortKey(b);
    return keyA.compare(keyB);
}

std::vector<std::size_t> sortedOrder(const std::vector<std::string_view>& captions)
{
    std::vector<std::string> keys;
    keys.reserve(captions.size());
    for (const auto caption : captions) {
        keys.push_back(captionSortKey(caption));
    }
    std::vector<std::size_t> order(captions.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&keys](std::size_t x, std::size_t y) { return keys[x] < keys[y]; });
    return order;
}

} // namespace catalog
