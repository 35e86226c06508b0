// The data source linking a client data set to the controls that show it.
#pragma once

#include "cht_platform_export.h"
#include "platform/dataset/ClientDataSet.h"

#include <functional>
#include <vector>

namespace cht::platform {

/// What a data-aware control hears from its data source. Nothing arrives while the set's
/// controls are disabled; the last enable sends one dataSetChanged.
class CHT_PLATFORM_EXPORT DataLink {
public:
    virtual ~DataLink() = default;
    /// Rows replaced, opened, closed, or controls re-enabled: redraw everything.
    virtual void dataSetChanged() = 0;
    /// The current row's values changed (an edit, a post, a cancel).
    virtual void recordChanged() { dataSetChanged(); }
    /// The current row moved.
    virtual void dataSetScrolled() { dataSetChanged(); }
    /// The set's state changed.
    virtual void stateChanged() {}
    /// The data source is being destroyed: a control forgets it.
    virtual void dataSourceDestroyed() {}
};

class CHT_PLATFORM_EXPORT TDataSource {
public:
    using StateChangeEvent = std::function<void(TDataSource& sender)>;

    explicit TDataSource(TClientDataSet* dataSet = nullptr);
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    TClientDataSet* dataSet() const { return m_dataSet; }
    void setDataSet(TClientDataSet* dataSet);
    DataSetState state() const;

    /// Fires on every change of the set's state that this source sees (a plain handler, so that a
    /// screen can detach it and attach it again).
    StateChangeEvent onStateChange;

    void addLink(DataLink* link);
    void removeLink(DataLink* link);

    // Called by the data set.
    void notifyDataSetChanged();
    void notifyRecordChanged();
    void notifyScrolled();
    void notifyStateChanged();
    /// The data set is going away: forget it without telling anyone.
    void dataSetDestroyed();

private:
    TClientDataSet* m_dataSet = nullptr;
    std::vector<DataLink*> m_links;
    DataSetState m_lastState = DataSetState::Inactive;
};

} // namespace cht::platform
