#include "framework/ScreenFont.h"

#include <QFont>
#include <QStringList>
#include <QWidget>

namespace cht::framework {

void applyScreenFont(QWidget& screen)
{
    static const bool mapped = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
        return true;
    }();
    (void)mapped;
    QFont face(QStringLiteral("MS Sans Serif"));
    face.setPointSize(8);
    screen.setFont(face);
}

} // namespace cht::framework
