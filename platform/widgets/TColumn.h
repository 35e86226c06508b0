// A persistent column of a data-aware grid: which field it shows and how.
#pragma once

#include "cht_platform_export.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QStringList>

#include <optional>

namespace cht::platform {

class TDBGrid;
class TField;

/// A grid column bound to a field by name. Properties not set explicitly follow the field (title,
/// alignment) or the grid (font, colour). A column keeps its field when the operator moves it.
class CHT_PLATFORM_EXPORT TColumn {
public:
    TColumn(TDBGrid& grid, QString fieldName);

    TDBGrid& grid() const { return m_grid; }
    /// Position among the grid's columns (the order they were added in; unchanged by moves).
    int index() const;

    const QString& fieldName() const { return m_fieldName; }
    void setFieldName(const QString& name);
    /// The field of the grid's data set, or nullptr (no data set, or no field of that name).
    TField* field() const;

    /// The column's own title, or else the field's label, or else the field name.
    QString title() const;
    void setTitle(const QString& title);
    bool hasOwnTitle() const { return m_title.has_value(); }
    /// Title font (default: the grid's title font) and its colour (default: window text).
    QFont titleFont() const;
    void setTitleFont(const QFont& font);
    QColor titleColor() const;
    void setTitleColor(const QColor& color);
    Qt::Alignment titleAlignment() const { return m_titleAlignment; }
    void setTitleAlignment(Qt::Alignment alignment);
    /// A picture shown in the title in place of its text: what a title set in a symbol face
    /// (a check mark) looks like. The title text stays as set.
    const QImage& titleImage() const { return m_titleImage; }
    void setTitleImage(const QImage& image);

    /// Width in pixels: the one set, or else defaultWidth().
    int width() const;
    void setWidth(int pixels);
    /// Forgets a set width, so that the column sizes itself again.
    void restoreDefaultWidth();
    bool hasOwnWidth() const { return m_width.has_value(); }
    /// The wider of the title (in the title font) and the field's display width in characters
    /// times the average character width of the column's font, plus the cell margins.
    int defaultWidth() const;

    /// Alignment of the cells: the one set, or else right for numbers and left for the rest.
    Qt::Alignment alignment() const;
    void setAlignment(Qt::Alignment alignment);

    /// Values offered by the in-place editor's drop-down; empty: a plain text editor.
    const QStringList& pickList() const { return m_pickList; }
    void setPickList(const QStringList& values);

    bool visible() const { return m_visible; }
    void setVisible(bool visible);
    /// A read-only column never opens the in-place editor.
    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly);

    /// Cell background (default: the grid's colour) and cell font (default: the grid's font).
    QColor color() const;
    void setColor(const QColor& color);
    QFont font() const;
    void setFont(const QFont& font);
    QColor fontColor() const;
    void setFontColor(const QColor& color);

private:
    void changed(bool layout);

    TDBGrid& m_grid;
    QString m_fieldName;
    std::optional<QString> m_title;
    std::optional<QFont> m_titleFont;
    std::optional<QColor> m_titleColor;
    Qt::Alignment m_titleAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    QImage m_titleImage;
    std::optional<int> m_width;
    std::optional<Qt::Alignment> m_alignment;
    QStringList m_pickList;
    bool m_visible = true;
    bool m_readOnly = false;
    std::optional<QColor> m_color;
    std::optional<QFont> m_font;
    std::optional<QColor> m_fontColor;
};

} // namespace cht::platform
