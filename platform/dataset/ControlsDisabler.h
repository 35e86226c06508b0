// Disables a data set's controls for a scope, as QSignalBlocker blocks signals.
#pragma once

#include "platform/dataset/ClientDataSet.h"

#include <QtGlobal>

#include <exception>

namespace cht::platform {

/// Disables the controls of a data set on construction and enables them again when the scope
/// ends, however it ends: a walk over the rows moves no control, and they refresh once after it.
/// Guards nest, as the disabling is counted.
class ControlsDisabler {
public:
    explicit ControlsDisabler(TClientDataSet& dataSet) : m_dataSet(dataSet)
    {
        m_dataSet.disableControls();
    }
    /// A refresh that raises reaches the caller, as from a hand-written enableControls(); while
    /// an error already leaves the scope, that one is reported and the refresh's is dropped.
    ~ControlsDisabler() noexcept(false)
    {
        if (std::uncaught_exceptions() == m_unwinding) {
            m_dataSet.enableControls();
            return;
        }
        try {
            m_dataSet.enableControls();
        } catch (...) {
        }
    }
    Q_DISABLE_COPY_MOVE(ControlsDisabler)

private:
    TClientDataSet& m_dataSet;
    int m_unwinding = std::uncaught_exceptions();
};

} // namespace cht::platform
