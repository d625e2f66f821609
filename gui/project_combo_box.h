// The project list: as wide as the layout makes it, whatever the names in it.
#ifndef PACKGUI_PROJECT_COMBO_BOX_H
#define PACKGUI_PROJECT_COMBO_BOX_H

#include <QComboBox>

class ProjectComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit ProjectComboBox(QWidget *parent = nullptr);

    // Shows every entry's whole name as its tool tip, and the chosen one's on the box.
    void setNames(const QStringList &names);

    // The list opens no wider than the window, eliding what does not fit.
    void showPopup() override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void showCurrentNameAsToolTip();
};

#endif
