#include "platform/widgets/DataSourceLink.h"

#include "platform/dataset/DataSource.h"

namespace cht::platform {

bool DataSourceLink::relink(TDataSource*& slot, TDataSource* source, DataLink* link)
{
    if (source == slot)
        return false;
    unlink(slot, link);
    slot = source;
    if (slot)
        slot->addLink(link);
    return true;
}

void DataSourceLink::unlink(TDataSource* source, DataLink* link)
{
    if (source)
        source->removeLink(link);
}

} // namespace cht::platform
