#include "ChtListColumns.h"

#include <string>

namespace cht::wire {

namespace {

// Each name once (fields are found by name), and a size exactly on the text columns.
constexpr bool wellFormed()
{
    for (std::size_t i = 0; i < kChtListColumns.size(); ++i) {
        const ChtListColumn& c = kChtListColumns[i];
        if (chtListColumnIndex(c.name) != i || (c.type == FieldType::Text) != (c.size > 0))
            return false;
    }
    return true;
}
static_assert(wellFormed(), "a CHT list column is named twice or sized wrongly");

} // namespace

const std::vector<FieldDef>& chtListFields()
{
    static const std::vector<FieldDef> fields = [] {
        std::vector<FieldDef> defs;
        defs.reserve(kChtListColumns.size());
        for (const ChtListColumn& c : kChtListColumns)
            defs.push_back({std::string(c.name), c.type, c.size});
        return defs;
    }();
    return fields;
}

} // namespace cht::wire
