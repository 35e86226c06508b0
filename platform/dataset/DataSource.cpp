#include "platform/dataset/DataSource.h"

#include <algorithm>

namespace cht::platform {

TDataSource::TDataSource(TClientDataSet* dataSet)
{
    setDataSet(dataSet);
}

TDataSource::~TDataSource()
{
    // Controls outliving their source (a screen's data source dies before its child widgets)
    // must not call back into it.
    const auto links = m_links;
    for (DataLink* l : links)
        l->dataSourceDestroyed();
    if (m_dataSet)
        m_dataSet->detach(this);
}

void TDataSource::setDataSet(TClientDataSet* dataSet)
{
    if (dataSet == m_dataSet)
        return;
    if (m_dataSet)
        m_dataSet->detach(this);
    m_dataSet = dataSet;
    if (m_dataSet)
        m_dataSet->attach(this);
    notifyDataSetChanged();
    notifyStateChanged();
}

void TDataSource::dataSetDestroyed()
{
    m_dataSet = nullptr;
    m_lastState = DataSetState::Inactive;
}

DataSetState TDataSource::state() const
{
    return m_dataSet ? m_dataSet->state() : DataSetState::Inactive;
}

void TDataSource::addLink(DataLink* link)
{
    if (link && std::find(m_links.begin(), m_links.end(), link) == m_links.end())
        m_links.push_back(link);
}

void TDataSource::removeLink(DataLink* link)
{
    m_links.erase(std::remove(m_links.begin(), m_links.end(), link), m_links.end());
}

// Links may add or remove links while they are told something: walk a copy, and skip any that
// were removed meanwhile.
template <typename Call>
static void forEachLink(const std::vector<DataLink*>& links, const std::vector<DataLink*>& live,
                        Call call)
{
    for (DataLink* l : links)
        if (std::find(live.begin(), live.end(), l) != live.end())
            call(*l);
}

void TDataSource::notifyDataSetChanged()
{
    const auto links = m_links;
    forEachLink(links, m_links, [](DataLink& l) { l.dataSetChanged(); });
}

void TDataSource::notifyRecordChanged()
{
    const auto links = m_links;
    forEachLink(links, m_links, [](DataLink& l) { l.recordChanged(); });
}

void TDataSource::notifyScrolled()
{
    const auto links = m_links;
    forEachLink(links, m_links, [](DataLink& l) { l.dataSetScrolled(); });
}

void TDataSource::notifyStateChanged()
{
    const DataSetState now = state();
    if (now == m_lastState)
        return;
    m_lastState = now;
    const auto links = m_links;
    forEachLink(links, m_links, [](DataLink& l) { l.stateChanged(); });
    if (onStateChange)
        onStateChange(*this);
}

} // namespace cht::platform
