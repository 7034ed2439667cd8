#include <strings.h>

#include "At89Chips.h"
#include "AvrChip.h"

namespace kestrin::chips {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

std::unique_ptr<Chip> MakeChip(std::string_view name) {
    if (SameName(name, "AT89S8252")) return std::make_unique<At89S8252>();
    if (SameName(name, "AT89S8253")) return std::make_unique<At89S8253>();
    if (SameName(name, "AT89S52")) return std::make_unique<At89S52>();
    if (SameName(name, "AT89S53")) return std::make_unique<At89S53>();
    if (const AvrPart* p = FindAvrPart(name)) return std::make_unique<AvrChip>(*p);
    return nullptr;
}

std::vector<std::string> ChipNames() {
    std::vector<std::string> names = {"AT89S8252", "AT89S8253", "AT89S52", "AT89S53"};
    for (const auto& p : AvrParts()) names.emplace_back(p.name);
    return names;
}

}  // namespace kestrin::chips
