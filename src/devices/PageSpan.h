// The whole pages that cover a block, and the block placed on them: what
// every page-mode writer works on.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "devices/ProgRun.h"

namespace kestrin {

struct TPageSpan {
    int32_t First = 0;  // StartAddress taken down to a page boundary
    int32_t Count = 0;  // number of pages
    int32_t PageSize = 0;
    int32_t Offset(int32_t page) const { return PageSize * page; }
    int32_t Address(int32_t page) const { return First + Offset(page); }
    size_t Bytes() const { return static_cast<size_t>(Count) * static_cast<size_t>(PageSize); }
};

// The pages of pageSize bytes that hold StartAddress to StartAddress + Size - 1.
inline TPageSpan PageSpanOf(const TProgParams& params, int32_t pageSize) {
    TPageSpan span;
    span.PageSize = pageSize;
    span.First = params.StartAddress / pageSize * pageSize;
    const int64_t end = int64_t{params.StartAddress} + params.Size;
    const int64_t last = (end + pageSize - 1) / pageSize * pageSize;
    span.Count = static_cast<int32_t>((last - span.First) / pageSize);
    return span;
}

// The image placed on whole pages, padded with 0xFF (the erased value).
inline std::vector<uint8_t> PageImage(const TProgParams& params, const TPageSpan& span) {
    std::vector<uint8_t> image(span.Bytes(), 0xFF);
    std::copy_n(params.Data, params.Size, image.begin() + (params.StartAddress - span.First));
    return image;
}

}  // namespace kestrin
