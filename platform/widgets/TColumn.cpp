#include "platform/widgets/TColumn.h"

#include "platform/dataset/ClientDataSet.h"
#include "platform/dataset/Field.h"
#include "platform/widgets/TDBGrid.h"

#include <QFontMetrics>

#include <algorithm>

namespace cht::platform {
namespace {
// Room left and right of a cell's text, as the grid draws it.
constexpr int kCellMargin = 4;
} // namespace

TColumn::TColumn(TDBGrid& grid, QString fieldName) : m_grid(grid), m_fieldName(std::move(fieldName))
{}

int TColumn::index() const
{
    const auto& cols = m_grid.shownColumns();
    for (std::size_t i = 0; i < cols.size(); ++i)
        if (cols[i].get() == this)
            return static_cast<int>(i);
    return -1;
}

void TColumn::setFieldName(const QString& name)
{
    m_fieldName = name;
    changed(true);
}

TField* TColumn::field() const
{
    TClientDataSet* ds = m_grid.dataSet();
    return ds && !m_fieldName.isEmpty() ? ds->findField(m_fieldName) : nullptr;
}

QString TColumn::title() const
{
    if (m_title)
        return *m_title;
    if (TField* f = field())
        return f->label();
    return m_fieldName;
}

void TColumn::setTitle(const QString& title)
{
    m_title = title;
    changed(true);
}

QFont TColumn::titleFont() const
{
    return m_titleFont ? *m_titleFont : m_grid.titleFont();
}

void TColumn::setTitleFont(const QFont& font)
{
    m_titleFont = font;
    changed(true);
}

QColor TColumn::titleColor() const
{
    return m_titleColor ? *m_titleColor : m_grid.palette().color(QPalette::WindowText);
}

void TColumn::setTitleColor(const QColor& color)
{
    m_titleColor = color;
    changed(false);
}

void TColumn::setTitleAlignment(Qt::Alignment alignment)
{
    m_titleAlignment = alignment;
    changed(false);
}

void TColumn::setTitleImage(const QImage& image)
{
    m_titleImage = image;
    changed(true);
}

int TColumn::width() const
{
    return m_width ? *m_width : defaultWidth();
}

void TColumn::setWidth(int pixels)
{
    if (m_width && *m_width == pixels)
        return;
    m_width = pixels;
    changed(true);
}

void TColumn::restoreDefaultWidth()
{
    m_width.reset();
    changed(true);
}

int TColumn::defaultWidth() const
{
    const QFontMetrics cellMetrics(font());
    int chars = 10;
    if (TField* f = field())
        chars = f->defaultDisplayWidth();
    const int dataWidth = chars * cellMetrics.averageCharWidth() + kCellMargin;
    int titleWidth = 0;
    if (m_grid.hasOption(dgTitles))
        titleWidth = QFontMetrics(titleFont()).horizontalAdvance(title()) + kCellMargin;
    return std::max(dataWidth, titleWidth);
}

Qt::Alignment TColumn::alignment() const
{
    if (m_alignment)
        return *m_alignment;
    if (TField* f = field()) {
        const auto t = f->dataType();
        if (t == wire::FieldType::Float || t == wire::FieldType::Integer)
            return Qt::AlignRight | Qt::AlignVCenter;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

void TColumn::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    changed(false);
}

void TColumn::setPickList(const QStringList& values)
{
    m_pickList = values;
}

void TColumn::setVisible(bool visible)
{
    m_visible = visible;
    changed(true);
}

void TColumn::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
}

QColor TColumn::color() const
{
    return m_color ? *m_color : m_grid.color();
}

void TColumn::setColor(const QColor& color)
{
    m_color = color;
    changed(false);
}

QFont TColumn::font() const
{
    return m_font ? *m_font : m_grid.font();
}

void TColumn::setFont(const QFont& font)
{
    m_font = font;
    changed(true);
}

QColor TColumn::fontColor() const
{
    return m_fontColor ? *m_fontColor : m_grid.palette().color(QPalette::Text);
}

void TColumn::setFontColor(const QColor& color)
{
    m_fontColor = color;
    changed(false);
}

void TColumn::changed(bool layout)
{
    m_grid.columnChanged(*this, layout);
}

} // namespace cht::platform
