#pragma once

#include <QMap>
#include <QRect>
#include <QString>
#include <QVector>
#include <QWidget>

class QFrame;
class QLabel;
class HMenu;
class HMenuItem;

// Kind of an option tile. Scoped, as the record mode already uses the bare name Camera.
enum class HomeItemType : int
{
    Mode = 0,
    Audio = 1,
    Quality = 2,
    Format = 3,
    Camera = 4
};

// One row of the tile table: the kind and the icon in its four looks.
struct HomeItemInfo
{
    int type = 0;
    QString icon;
    QString iconHover;
    QString iconOff;
    QString iconOffHover;
};

// One option tile of the home page: a title, an icon with a drop-down arrow and a caption naming
// the current choice; a click opens the menu of choices. A choice is stored at once and refused
// while a recording runs.
class QHomeItem : public QWidget
{
    Q_OBJECT

public:
    explicit QHomeItem(const HomeItemInfo& info, QWidget* parent = nullptr);

    // The five rows from which the main window builds its tiles, in tile order.
    static const QVector<HomeItemInfo>& homeItems();

    // Menu handlers; true when the choice is accepted. The trailing bool is not looked at,
    // except for the camera, where it skips the busy test.
    bool selectMode(int mode, const QRect& rect, bool);
    bool selectAudio(int value, bool);
    bool selectQuality(int value, bool);
    bool selectFormat(int value, bool);
    bool selectCamera(int state, const QString& name, const QString& caption, bool force);

    // True (with the busy message) while the recording manager is not idle.
    bool checkBusy();
    // Sets a look property on the parts of the clickable area and re-polishes them.
    void setItemClass(const char* name, const QString& value);

    HomeItemType type() const { return static_cast<HomeItemType>(info_.type); }
    HMenu* menu() const { return menu_; }
    QString caption() const;
    bool isOff() const { return off_; }

signals:
    void selected_camera();
    void show_message(QString msg);

public slots:
    void onSelectedFormat(int index);
    void onSelectedQuality(int index);
    void onRefreshCamera();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildForm();
    void buildMode();
    void buildAudio();
    void buildQuality();
    void buildFormat();
    void buildCamera();
    HMenuItem* addEntry(const QString& text, bool selected);
    void setCaption(const QString& text);
    void refreshLater();
    // Camera names as the tile lists them: the first screen-capture source is not a camera.
    static QStringList cameraNames();

    HomeItemInfo info_;
    bool off_ = false;
    HMenu* menu_ = nullptr;
    bool pressed_ = false;
    QMap<int, HMenuItem*> entries_;

    QFrame* frameButton_ = nullptr;
    QLabel* labelItemTitle_ = nullptr;
    QLabel* labelItemIcon_ = nullptr;
    QLabel* labelDropDown_ = nullptr;
    QLabel* labelItemName_ = nullptr;
};
