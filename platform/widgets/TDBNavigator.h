// The record navigator: buttons that move through and save or cancel a data source's set.
#pragma once

#include "cht_platform_export.h"
#include "platform/dataset/DataSource.h"

#include <QWidget>

#include <array>
#include <functional>

class QToolButton;

namespace cht::platform {

enum class TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbPost, nbCancel, nbRefresh };

/// Seven buttons, hints "Primeiro", "Anterior", "Próximo", "Último", "Gravar", "Cancelar",
/// "Atualizar". Moving buttons are enabled while the set is open and not at that end; post and
/// cancel while it is in edit or insert; refresh while it is open and onRefresh is assigned (a
/// client data set has no provider of its own to re-read: the screen says what refreshing means).
class CHT_PLATFORM_EXPORT TDBNavigator : public QWidget, public DataLink {
    Q_OBJECT
public:
    static constexpr int kButtonCount = 7;

    explicit TDBNavigator(QWidget* parent = nullptr);
    ~TDBNavigator() override;

    TDataSource* dataSource() const { return m_dataSource; }
    void setDataSource(TDataSource* source);

    QToolButton* button(TNavigateBtn which) const;
    void setButtonVisible(TNavigateBtn which, bool visible);
    /// Runs the button's action as a click would (nothing when the button is disabled).
    void btnClick(TNavigateBtn which);

    /// Before the action (may throw to stop it) and after it.
    std::function<void(TNavigateBtn)> beforeAction;
    std::function<void(TNavigateBtn)> onClick;
    /// What the refresh button does (assign it before setDataSource, so that the button's state
    /// counts it from the start).
    std::function<void()> onRefresh;

    void dataSetChanged() override;
    void stateChanged() override;
    void dataSourceDestroyed() override;

private:
    void updateButtons();
    void runAction(TNavigateBtn which);

    TDataSource* m_dataSource = nullptr;
    std::array<QToolButton*, kButtonCount> m_buttons{};
};

} // namespace cht::platform
