#pragma once

#include <QFrame>
#include <QMap>

class QLabel;
class HMenu;

// A drop-down box made of a text label and an arrow whose list is an HMenu. A choice is only
// taken when a listener of currentIndexChanged or currentTextChanged accepts it. A fixed width
// grows where the longest entry would not fit in it.
class HComboBox : public QFrame
{
    Q_OBJECT

public:
    explicit HComboBox(QWidget* parent = nullptr);

    void addItem(const QString& text);
    void addItems(const QStringList& texts);
    // Marks the entry and shows its text without asking anyone; out-of-range indexes are ignored.
    void setCurrentIndex(int index);
    void setCurrentText(const QString& text);
    void setScrollBarVisible(bool on);

    int count() const;
    QString currentText() const;
    HMenu* menu() const;

signals:
    // The receiver answers whether it accepts the choice; false when nothing is connected.
    bool currentIndexChanged(int index);
    bool currentTextChanged(QString text);

public slots:
    bool onItemClicked(int index, QString text);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void setArrowStatus(const QString& status);

    QLabel* text_;
    QLabel* arrow_;
    bool pressed_ = false;
    HMenu* menu_;
    QMap<QString, int> indexes_;
};
