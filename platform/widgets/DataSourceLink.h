// How a data-aware control moves its link from one data source to another.
#pragma once

namespace cht::platform {

class DataLink;
class TDataSource;

/// Keeps a control's data-source pointer and its registration on that source in step.
class DataSourceLink {
public:
    /// Points `slot` at `source`, moving `link` from the old source to the new one; false when
    /// `source` is already the one in `slot` (nothing changed).
    static bool relink(TDataSource*& slot, TDataSource* source, DataLink* link);
    /// Takes `link` off `source`, if there is one (a control being destroyed).
    static void unlink(TDataSource* source, DataLink* link);
};

} // namespace cht::platform
