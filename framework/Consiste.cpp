// MensErro, EmptyString and PictPess; CheckResultServ lives with the connection.
#include "module/contracts/Consiste.h"

#include "module/contracts/Forms.h"

namespace cht::framework {

void MensErro(const QString& text, bool /*stop: the handler always stops*/)
{
    Application::ShowError(text);
    throw EMensErro(text.toStdString());
}

bool EmptyString(const QString& text)
{
    return text.trimmed().isEmpty();
}

QString PictPess(const QString& personKind)
{
    // Saved without literals (";0"), so that the stored digits are formatted as they stand.
    if (personKind == QLatin1String("J"))
        return QStringLiteral("99.999.999/9999-99;0;_");
    if (personKind == QLatin1String("F"))
        return QStringLiteral("999.999.999-99;0;_");
    return {};
}

} // namespace cht::framework
