#include "project_combo_box.h"

#include <QAbstractItemView>
#include <QPoint>
#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace {

// Names often differ only at their end ("... rev A", "... rev B"), so both ends stay visible.
constexpr Qt::TextElideMode nameElision = Qt::ElideMiddle;
// Room for a usual name before the layout's stretch adds more.
constexpr int usualNameLength = 12;

} // namespace

ProjectComboBox::ProjectComboBox(QWidget *parent) : QComboBox(parent)
{
    // Sized to its longest entry, the box would push the window's buttons off the screen.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(usualNameLength);
    view()->setTextElideMode(nameElision);
    connect(this, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ProjectComboBox::showCurrentNameAsToolTip);
}

void ProjectComboBox::setNames(const QStringList &names)
{
    clear();
    addItems(names);
    for (int i = 0; i < count(); ++i)
        setItemData(i, itemText(i), Qt::ToolTipRole);
    showCurrentNameAsToolTip();
}

void ProjectComboBox::showPopup()
{
    QComboBox::showPopup();
    QWidget *popup = view()->window();
    const int left = mapToGlobal(QPoint(0, 0)).x();
    const int windowRight = window()->mapToGlobal(QPoint(window()->width(), 0)).x();
    const int widest = qMax(width(), windowRight - left);
    if (popup->width() <= widest)
        return;
    // From the box's left edge, as the list of a box with short names opens.
    popup->setGeometry(left, popup->y(), widest, popup->height());
}

void ProjectComboBox::showCurrentNameAsToolTip()
{
    setToolTip(currentText());
}

// As QComboBox paints itself, but with the chosen name elided to the space it has.
void ProjectComboBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    // The style draws the label one pixel in from each side of the field.
    const QRect label = style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                QStyle::SC_ComboBoxEditField, this)
                            .adjusted(1, 0, -1, 0);
    option.currentText = fontMetrics().elidedText(option.currentText, nameElision, label.width());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}
