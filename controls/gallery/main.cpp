// Gallery of the widget toolkit and the artwork, for looking at them under Xvfb:
//
//   gallery [--page widgets|artwork] [--no-popups] [--shot FILE] [--delay MS]
//
// "widgets" shows every toolkit widget in each of its states, styled by the program's own style
// sheets, with a pop-up menu, a combo list and two message boxes open; "artwork" shows every
// picture of the resources at its own size and magnified. --shot saves a screenshot and quits;
// --no-popups leaves the page for trying the widgets by hand (the first tile opens its menu).
#include "HComboBox.h"
#include "HLayout.h"
#include "HMenu.h"
#include "HMenuItem.h"
#include "HMessageBox.h"
#include "QCustomShadowEffect.h"
#include "QGlobalSettings.h"
#include "QSkin.h"
#include "TButton.h"
#include "TPushButton.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDirIterator>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResource>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char* const kPageStyle = R"(
QWidget#gallery { background: #17191E; }
QLabel[caption='true'] { color: #8A8D94; font-family: "Microsoft YaHei"; font-size: 12px; }
QLabel[state='true'] { color: #5F636B; font-family: "Microsoft YaHei"; font-size: 11px; }
)";

QLabel* caption(const QString& text, QWidget* parent = nullptr)
{
    auto* label = new QLabel(text, parent);
    label->setProperty("caption", true);
    return label;
}

QLabel* stateLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setProperty("state", true);
    label->setAlignment(Qt::AlignHCenter);
    return label;
}

// A widget with a caption above it, for the page grid.
QWidget* section(const QString& title, QWidget* content)
{
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(caption(title));
    layout->addWidget(content);
    layout->addStretch();
    return box;
}

// A picture in a fixed label, optionally a slice of a strip.
QLabel* picture(const QString& path, QSize size, const QString& slice = QString())
{
    auto* label = new QLabel;
    label->setFixedSize(size);
    label->setStyleSheet(QStringLiteral("border-image:url(%1) %2;").arg(path, slice));
    return label;
}

QWidget* column(QWidget* top, const QString& state)
{
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(top, 0, Qt::AlignHCenter);
    layout->addWidget(stateLabel(state));
    return box;
}

QString templateSheet(const QString& path, const QStringList& args)
{
    QString sheet = QSkin::styleSheet(path);
    for (const QString& arg : args)
        sheet = sheet.arg(arg);
    return sheet;
}

TPushButton* pushButton(const QString& cls, const QString& text, const QString& icon, QSize iconSize,
                        int spacing, QSize fixed = QSize())
{
    auto* button = new TPushButton;
    button->setIconSize(iconSize.width(), iconSize.height());
    button->setText(text);
    button->setSpacing(spacing);
    button->setProperty("class", cls);
    button->setStyleSheet(QStringLiteral("QLabel#buttonIcon{border-image:url(%1)}").arg(icon));
    if (fixed.isValid())
        button->setFixedSize(fixed);
    return button;
}

// --- Main window pieces ------------------------------------------------------------------------

QWidget* titleBar()
{
    auto* host = new QWidget;
    host->setStyleSheet(QSkin::styleSheet(QStringLiteral(":/qss/main.css")));
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    auto* frameTitle = new QFrame;
    frameTitle->setObjectName(QStringLiteral("frameTitle"));
    frameTitle->setFixedSize(778, 46);
    auto* row = new QHBoxLayout(frameTitle);
    row->setContentsMargins(14, 0, 16, 0);
    row->setSpacing(8);
    auto* icon = new QLabel;
    icon->setObjectName(QStringLiteral("labelIco"));
    icon->setFixedSize(28, 28);
    row->addWidget(icon);
    row->addSpacing(6);
    auto* title = new QLabel(QGlobalSettings::appName());
    title->setObjectName(QStringLiteral("labelTitle"));
    row->addWidget(title);
    row->addStretch();
    const QString textOnly = templateSheet(
        QStringLiteral(":/qss/TPushButton.css"),
        {QStringLiteral("14"), QStringLiteral("#FEFEFE"), QStringLiteral("#00A1FF"),
         QStringLiteral("#FEFEFE"), QStringLiteral(":/image/btn.customer.png"),
         QStringLiteral(":/image/btn.customer.png"), QStringLiteral(":/image/btn.customer.png")});
    for (const QString& text : {QStringLiteral("设置"), QStringLiteral("菜单")}) {
        auto* button = new TPushButton;
        button->setStyleSheet(textOnly);
        button->setIconSize(14, 14);
        button->setIconVisible(false);
        button->setText(text);
        if (text == QStringLiteral("菜单"))
            button->setStatus(QStringLiteral("hover"));
        row->addWidget(button);
        row->addSpacing(12);
    }
    auto* line = new QFrame;
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::VLine);
    line->setFixedSize(1, 14);
    row->addWidget(line);
    for (const char* name : {"btnMin", "btnClose"}) {
        auto* button = new QPushButton;
        button->setObjectName(QString::fromLatin1(name));
        button->setFixedSize(30, 24);
        button->setCursor(Qt::PointingHandCursor);
        row->addWidget(button);
    }
    layout->addWidget(frameTitle);

    // The title-bar buttons' hover and pressed pictures, which a screenshot cannot hover.
    auto* states = new QHBoxLayout;
    states->setSpacing(14);
    for (const QString& name : {QStringLiteral("btn.min"), QStringLiteral("btn.close")}) {
        for (const QString& variant : {QString(), QStringLiteral(".hover"), QStringLiteral(".pressed")}) {
            auto* bar = new QFrame;
            bar->setStyleSheet(QStringLiteral("background:#24272D;"));
            auto* barLayout = new QHBoxLayout(bar);
            barLayout->setContentsMargins(6, 6, 6, 6);
            barLayout->addWidget(
                picture(QStringLiteral(":/image/%1%2.png").arg(name, variant), QSize(30, 24)));
            states->addWidget(column(bar, name + (variant.isEmpty() ? QStringLiteral(" normal") : variant)));
        }
    }
    states->addStretch();
    layout->addLayout(states);
    return host;
}

QWidget* recordRows()
{
    auto* host = new QFrame;
    host->setObjectName(QStringLiteral("frameMain"));
    host->setStyleSheet(QSkin::styleSheet(QStringLiteral(":/qss/main.css")));
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(20, 14, 20, 14);
    layout->setSpacing(14);

    auto* record = new QHBoxLayout;
    record->setSpacing(27);
    auto* time = new QLabel(QStringLiteral("00:12:34"));
    time->setObjectName(QStringLiteral("labelTimeText"));
    record->addWidget(time);
    auto* disk = new QLabel(QStringLiteral("(35.2MB/16.2GB)"));
    disk->setObjectName(QStringLiteral("labelDiskText"));
    record->addWidget(disk);
    record->addStretch();
    const QSize big(124, 44);
    auto* start = pushButton(QStringLiteral("btn_common"), QStringLiteral("开始录制"),
                             QStringLiteral(":/image/label.record.png"), QSize(20, 20), 8, big);
    auto* startHover = pushButton(QStringLiteral("btn_common"), QStringLiteral("继续录制"),
                                  QStringLiteral(":/image/label.record.png"), QSize(20, 20), 8, big);
    startHover->setStatus(QStringLiteral("hover"));
    auto* pause = pushButton(QStringLiteral("btn_common"), QStringLiteral("暂停录制"),
                             QStringLiteral(":/image/label.pause.png"), QSize(20, 20), 8, big);
    auto* stop = pushButton(QStringLiteral("btn_stop"), QStringLiteral("结束录制"),
                            QStringLiteral(":/image/label.stop.png"), QSize(20, 20), 8, big);
    auto* stopHover = pushButton(QStringLiteral("btn_stop"), QStringLiteral("结束录制"),
                                 QStringLiteral(":/image/label.stop.png"), QSize(20, 20), 8, big);
    stopHover->setStatus(QStringLiteral("hover"));
    record->addWidget(column(start, QStringLiteral("normal")));
    record->addWidget(column(startHover, QStringLiteral("hover")));
    record->addWidget(column(pause, QStringLiteral("normal")));
    record->addWidget(column(stop, QStringLiteral("normal")));
    record->addWidget(column(stopHover, QStringLiteral("hover")));
    layout->addLayout(record);

    auto* hLine = new QFrame;
    hLine->setObjectName(QStringLiteral("hLine"));
    hLine->setFixedHeight(1);
    layout->addWidget(hLine);

    auto* tools = new QHBoxLayout;
    tools->setSpacing(12);
    auto* toolText = new QLabel(QStringLiteral("工具："));
    toolText->setObjectName(QStringLiteral("labelToolText"));
    tools->addWidget(toolText);
    auto* path = pushButton(QStringLiteral("btn_bottom"), QStringLiteral("保存目录"),
                            QStringLiteral(":/image/label.path.png"), QSize(12, 14), 4);
    auto* mark = pushButton(QStringLiteral("btn_bottom"), QStringLiteral("水印设置"),
                            QStringLiteral(":/image/label.mark.png"), QSize(14, 13), 4);
    auto* markHover = pushButton(QStringLiteral("btn_bottom"), QStringLiteral("水印设置"),
                                 QStringLiteral(":/image/label.mark.png"), QSize(14, 13), 4);
    markHover->setStatus(QStringLiteral("hover"));
    tools->addWidget(path);
    tools->addSpacing(14);
    tools->addWidget(mark);
    tools->addSpacing(14);
    tools->addWidget(markHover);
    tools->addWidget(stateLabel(QStringLiteral("(hover)")));
    tools->addStretch();
    layout->addLayout(tools);
    return host;
}

// --- Option tiles ------------------------------------------------------------------------------

struct TileLook
{
    QString title;
    QString caption;
    QString icon;
    QString offIcon;
    QString offHoverIcon;
    QString cls;
};

QWidget* tile(const TileLook& look, QWidget** buttonOut = nullptr)
{
    auto* host = new QWidget;
    host->setFixedSize(136, 168);
    const QString icon = QStringLiteral(":/image/label.%1.png").arg(look.icon);
    const QString hover = QStringLiteral(":/image/label.%1.hover.png").arg(look.icon);
    host->setStyleSheet(templateSheet(QStringLiteral(":/qss/HomeItem.css"),
                                      {icon, hover, look.offIcon.isEmpty() ? icon : look.offIcon,
                                       look.offHoverIcon.isEmpty() ? hover : look.offHoverIcon}));
    auto* outer = new QHBoxLayout(host);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* frameItemMain = new QFrame;
    frameItemMain->setObjectName(QStringLiteral("frameItemMain"));
    outer->addWidget(frameItemMain);
    auto* v = new QVBoxLayout(frameItemMain);
    v->setContentsMargins(0, 23, 0, 24);
    v->setSpacing(0);
    auto* title = new QLabel(look.title);
    title->setObjectName(QStringLiteral("labelItemTitle"));
    title->setAlignment(Qt::AlignCenter);
    v->addWidget(title);
    v->addSpacing(24);
    auto* frameButton = new QFrame;
    frameButton->setObjectName(QStringLiteral("frameButton"));
    frameButton->setCursor(Qt::PointingHandCursor);
    auto* fb = new QVBoxLayout(frameButton);
    fb->setContentsMargins(0, 10, 0, 10);
    fb->setSpacing(24);
    auto* iconRow = new QHBoxLayout;
    auto* frameIcon = new QFrame;
    frameIcon->setObjectName(QStringLiteral("frameIcon"));
    frameIcon->setFixedSize(40, 26);
    auto* iconLayout = new QHBoxLayout(frameIcon);
    iconLayout->setContentsMargins(0, 0, 0, 0);
    iconLayout->setSpacing(6);
    auto* labelItemIcon = new QLabel;
    labelItemIcon->setObjectName(QStringLiteral("labelItemIcon"));
    labelItemIcon->setFixedSize(26, 26);
    auto* labelDropDown = new QLabel;
    labelDropDown->setObjectName(QStringLiteral("labelDropDown"));
    labelDropDown->setFixedSize(8, 4);
    iconLayout->addWidget(labelItemIcon);
    iconLayout->addWidget(labelDropDown);
    iconRow->addWidget(frameIcon);
    fb->addLayout(iconRow);
    auto* name = new QLabel(look.caption);
    name->setObjectName(QStringLiteral("labelItemName"));
    name->setAlignment(Qt::AlignCenter);
    fb->addWidget(name);
    auto* padded = new QHBoxLayout;
    padded->setContentsMargins(4, 0, 4, 0);
    padded->addWidget(frameButton);
    v->addLayout(padded);
    v->addStretch();
    for (QWidget* w : {static_cast<QWidget*>(frameButton), static_cast<QWidget*>(labelItemIcon),
                       static_cast<QWidget*>(name), static_cast<QWidget*>(labelDropDown)})
        QSkin::setProperty(w, "class", look.cls);
    if (buttonOut)
        *buttonOut = frameButton;
    return host;
}

QWidget* tiles(QWidget** menuHost, QWidget** menuButton)
{
    auto* host = new QWidget;
    auto* row = new QHBoxLayout(host);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    const QString audioOff = QStringLiteral(":/image/label.audio.close.png");
    const QString audioOffHover = QStringLiteral(":/image/label.audio.close.hover.png");
    const QString cameraOff = QStringLiteral(":/image/label.camera.disable.png");
    const QString cameraOffHover = QStringLiteral(":/image/label.disable.hover.png");
    const QList<QPair<TileLook, QString>> looks = {
        {{QStringLiteral("模式"),
          QStringLiteral("全屏-显示器2"),
          QStringLiteral("mode"),
          {},
          {},
          QStringLiteral("normal_hover")},
         QStringLiteral("hover, menu open")},
        {{QStringLiteral("声源"), QStringLiteral("系统&麦克风"), QStringLiteral("audio"), audioOff,
          audioOffHover, QStringLiteral("normal")},
         QStringLiteral("normal")},
        {{QStringLiteral("声源"), QStringLiteral("关闭"), QStringLiteral("audio"), audioOff, audioOffHover,
          QStringLiteral("close")},
         QStringLiteral("off")},
        {{QStringLiteral("声源"), QStringLiteral("关闭"), QStringLiteral("audio"), audioOff, audioOffHover,
          QStringLiteral("close_hover")},
         QStringLiteral("off, hover")},
        {{QStringLiteral("画质"),
          QStringLiteral("推荐"),
          QStringLiteral("quality"),
          {},
          {},
          QStringLiteral("normal")},
         QStringLiteral("normal")},
        {{QStringLiteral("格式"),
          QStringLiteral("MP4"),
          QStringLiteral("format"),
          {},
          {},
          QStringLiteral("normal_hover")},
         QStringLiteral("hover")},
        {{QStringLiteral("摄像头"), QStringLiteral("摄像头1"), QStringLiteral("camera"), cameraOff,
          cameraOffHover, QStringLiteral("normal")},
         QStringLiteral("normal")},
        {{QStringLiteral("摄像头"), QStringLiteral("无设备"), QStringLiteral("camera"), cameraOff,
          cameraOffHover, QStringLiteral("close")},
         QStringLiteral("off")},
        {{QStringLiteral("摄像头"), QStringLiteral("关闭"), QStringLiteral("camera"), cameraOff,
          cameraOffHover, QStringLiteral("close_hover")},
         QStringLiteral("off, hover")},
    };
    for (int i = 0; i < looks.size(); ++i) {
        QWidget* button = nullptr;
        QWidget* t = tile(looks[i].first, &button);
        if (i == 0) {
            *menuHost = t;
            *menuButton = button;
        }
        row->addWidget(column(t, looks[i].second));
    }
    row->addStretch();
    return host;
}

// --- Settings dialog controls ------------------------------------------------------------------

QWidget* settingsControls(HComboBox** keyBox)
{
    auto* host = new QFrame;
    host->setObjectName(QStringLiteral("frameMain"));
    host->setStyleSheet(QSkin::styleSheet(QStringLiteral(":/qss/MarkSetting.css")));
    auto* grid = new QGridLayout(host);
    grid->setContentsMargins(16, 14, 16, 14);
    grid->setHorizontalSpacing(18);
    grid->setVerticalSpacing(12);

    // Tabs built from TButton with the tab classes.
    auto* tabs = new QFrame;
    tabs->setObjectName(QStringLiteral("frameLeft"));
    tabs->setFixedWidth(136);
    auto* tabLayout = new QVBoxLayout(tabs);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    tabLayout->setSpacing(0);
    int index = 0;
    for (const QString& text : {QStringLiteral("通用"), QStringLiteral("热键"), QStringLiteral("水印")}) {
        auto* tab = new TButton;
        tab->setFixedHeight(42);
        auto* l = new QHBoxLayout(tab);
        l->setContentsMargins(0, 0, 0, 0);
        auto* label = new QLabel(text);
        label->setObjectName(QStringLiteral("buttonText"));
        l->addWidget(label);
        const QString cls = index == 0 ? QStringLiteral("tab_hover") : QStringLiteral("tab_normal");
        QSkin::setProperty(tab, "class", cls);
        QSkin::setProperty(label, "class", cls);
        tabLayout->addWidget(tab);
        ++index;
    }
    tabLayout->addStretch();
    tabs->setFixedHeight(150);
    grid->addWidget(tabs, 0, 0, 4, 1, Qt::AlignTop);

    auto* title1 = new QLabel(QStringLiteral("画质"));
    title1->setObjectName(QStringLiteral("labelTitle1"));
    title1->setMaximumHeight(18);
    grid->addWidget(title1, 0, 1);
    auto* radios = new QHBoxLayout;
    radios->setSpacing(18);
    const QStringList qualities = {QStringLiteral("低质量（180Kbps）"), QStringLiteral("推荐（300Kbps）"),
                                   QStringLiteral("高质量（500Kbps）"), QStringLiteral("高清（800Kbps）")};
    for (int i = 0; i < qualities.size(); ++i) {
        auto* radio = new QRadioButton(qualities[i]);
        radio->setChecked(i == 1);
        radios->addWidget(radio);
    }
    radios->addStretch();
    grid->addLayout(radios, 1, 1, 1, 3);

    auto* text5 = new QLabel(QStringLiteral("透明度"));
    text5->setObjectName(QStringLiteral("labelText5"));
    grid->addWidget(text5, 2, 1);
    auto* sliderRow = new QHBoxLayout;
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(0, 100);
    slider->setValue(70);
    slider->setFixedWidth(110);
    slider->setMinimumHeight(32);
    sliderRow->addWidget(slider);
    auto* opacity = new QLabel(QStringLiteral("70%"));
    opacity->setObjectName(QStringLiteral("labelTextOpacity"));
    sliderRow->addWidget(opacity);
    sliderRow->addSpacing(20);
    auto* edit = new QLineEdit(QStringLiteral("D:\\视频\\录屏"));
    edit->setMinimumSize(242, 32);
    sliderRow->addWidget(edit);
    auto* import = new QPushButton(QStringLiteral("添加图片"));
    import->setObjectName(QStringLiteral("btnImport"));
    import->setFixedHeight(32);
    sliderRow->addWidget(import);
    auto* change = new QPushButton(QStringLiteral("更改目录"));
    change->setObjectName(QStringLiteral("btnSelected"));
    sliderRow->addWidget(change);
    sliderRow->addStretch();
    grid->addLayout(sliderRow, 2, 2, 1, 2);

    auto* text3 = new QLabel(QStringLiteral("字体颜色"));
    text3->setObjectName(QStringLiteral("labelText3"));
    grid->addWidget(text3, 3, 1);
    auto* combos = new QHBoxLayout;
    combos->setSpacing(12);
    auto* position = new HComboBox;
    position->addItems({QStringLiteral("左上角"), QStringLiteral("右上角"), QStringLiteral("左下角"),
                        QStringLiteral("右下角")});
    position->setCurrentIndex(3);
    position->setFixedWidth(106);
    combos->addWidget(position);
    auto* colour = new HComboBox;
    colour->addItems({QStringLiteral("黑色"), QStringLiteral("白色"), QStringLiteral("红色"),
                      QStringLiteral("黄色"), QStringLiteral("绿色"), QStringLiteral("蓝色")});
    colour->setCurrentIndex(1);
    colour->setFixedWidth(82);
    combos->addWidget(colour);
    auto* modifier = new HComboBox;
    modifier->addItems({QStringLiteral("Alt"), QStringLiteral("Ctrl"), QStringLiteral("Shift")});
    modifier->setFixedSize(75, 28);
    combos->addWidget(modifier);
    auto* plus = new QLabel(QStringLiteral("+"));
    plus->setObjectName(QStringLiteral("labelText21"));
    combos->addWidget(plus);
    auto* key = new HComboBox;
    QStringList keys;
    for (int i = 1; i <= 12; ++i)
        keys << QStringLiteral("F%1").arg(i);
    for (int i = 1; i <= 9; ++i)
        keys << QString::number(i);
    for (char c = 'A'; c <= 'Z'; ++c)
        keys << QString(QLatin1Char(c));
    key->addItems(keys);
    key->setCurrentText(QStringLiteral("F6"));
    key->setFixedSize(75, 28);
    key->setScrollBarVisible(true);
    combos->addWidget(key);
    *keyBox = key;
    combos->addStretch();
    auto* apply = new QPushButton(QStringLiteral("确定"));
    apply->setObjectName(QStringLiteral("btnApply"));
    apply->setFixedSize(100, 32);
    combos->addWidget(apply);
    grid->addLayout(combos, 3, 2, 1, 2);
    grid->setColumnStretch(3, 1);
    return host;
}

// --- Floating bar and progress panel ----------------------------------------------------------

QWidget* floatBar(const QString& time, const QString& recordClass, const QString& clipClass)
{
    auto* bar = new QWidget;
    bar->setFixedSize(219, 48);
    bar->setStyleSheet(QSkin::styleSheet(QStringLiteral(":/qss/FloatBar.css")));
    auto* outer = new QHBoxLayout(bar);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* frameMain = new QFrame;
    frameMain->setObjectName(QStringLiteral("frameMain"));
    frameMain->setMinimumHeight(48);
    outer->addWidget(frameMain);
    auto* row = new QHBoxLayout(frameMain);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* frame = new QFrame;
    frame->setObjectName(QStringLiteral("frame"));
    frame->setFixedWidth(120);
    auto* v = new QVBoxLayout(frame);
    v->setContentsMargins(0, 8, 0, 8);
    auto* label = new QLabel(time);
    label->setObjectName(QStringLiteral("labelRecordTime"));
    label->setAlignment(Qt::AlignCenter);
    v->addWidget(label);
    row->addWidget(frame);
    auto* record = new QPushButton;
    record->setFixedWidth(48);
    record->setProperty("class", recordClass);
    row->addWidget(record);
    auto* line = new QFrame;
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::VLine);
    line->setFixedWidth(1);
    row->addWidget(line);
    auto* clip = new QPushButton;
    clip->setFixedWidth(48);
    clip->setProperty("class", clipClass);
    row->addWidget(clip);
    return bar;
}

QWidget* floatBars()
{
    auto* host = new QWidget;
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto* bars = new QHBoxLayout;
    bars->setSpacing(16);
    bars->addWidget(
        column(floatBar(QStringLiteral("00:00:00"), QStringLiteral("btn_close"), QStringLiteral("btn_clip")),
               QStringLiteral("idle")));
    bars->addWidget(
        column(floatBar(QStringLiteral("00:03:17"), QStringLiteral("btn_stop"), QStringLiteral("btn_pause")),
               QStringLiteral("recording")));
    bars->addWidget(column(
        floatBar(QStringLiteral("00:03:17"), QStringLiteral("btn_stop"), QStringLiteral("btn_continue")),
        QStringLiteral("paused")));
    bars->addStretch();
    layout->addLayout(bars);

    // Every strip cut into its three states, as the buttons show them.
    auto* strips = new QHBoxLayout;
    strips->setSpacing(10);
    for (const QString& name : {QStringLiteral("start"), QStringLiteral("pause"), QStringLiteral("continue"),
                                QStringLiteral("stop"), QStringLiteral("close")}) {
        auto* strip = new QFrame;
        strip->setStyleSheet(QStringLiteral("QFrame{background:rgba(0,0,0,0.8);}"));
        auto* row = new QHBoxLayout(strip);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        const QString path = QStringLiteral(":/image/floating_btn_%1.png").arg(name);
        for (const QString& slice :
             {QStringLiteral("0 0 114 0"), QStringLiteral("57 0 57 0"), QStringLiteral("114 0 0 0")})
            row->addWidget(picture(path, QSize(48, 48), slice));
        strips->addWidget(column(strip, name + QStringLiteral(": normal, hover, pressed")));
    }
    strips->addStretch();
    layout->addLayout(strips);
    return host;
}

QWidget* processTip(bool result, QLabel** spinner)
{
    auto* panel = new QWidget;
    panel->setFixedSize(396, 294);
    panel->setStyleSheet(QSkin::styleSheet(QStringLiteral(":/qss/ProcessTip.css")));
    auto* outer = new QHBoxLayout(panel);
    outer->setContentsMargins(8, 8, 8, 8);
    auto* frameMain = new QFrame;
    frameMain->setObjectName(QStringLiteral("frameMain"));
    outer->addWidget(frameMain);
    auto* shadow = new QCustomShadowEffect(panel);
    shadow->setBlurRadius(8);
    shadow->setDistance(4);
    shadow->setColor(QColor(0, 0, 0, 32));
    panel->setGraphicsEffect(shadow);
    auto* v = new QVBoxLayout(frameMain);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    auto* frameTitle = new QFrame;
    frameTitle->setObjectName(QStringLiteral("frameTitle"));
    frameTitle->setFixedHeight(30);
    auto* titleRow = new QHBoxLayout(frameTitle);
    titleRow->setContentsMargins(14, 0, 5, 0);
    auto* title = new QLabel(QStringLiteral("提示"));
    title->setObjectName(QStringLiteral("labelTitle"));
    titleRow->addWidget(title);
    titleRow->addStretch();
    auto* close = new QPushButton;
    close->setObjectName(QStringLiteral("btnClose"));
    close->setFixedSize(30, 24);
    titleRow->addWidget(close);
    v->addWidget(frameTitle);
    auto* images = new QHBoxLayout;
    images->setContentsMargins(0, 48, 0, 35);
    auto* image = new QLabel;
    image->setFixedSize(64, 64);
    if (result) {
        image->setObjectName(QStringLiteral("labelImage1"));
    } else {
        image->setStyleSheet(QStringLiteral("border-image:url(:/animation/1.png)"));
        *spinner = image;
    }
    images->addWidget(image);
    v->addLayout(images);
    auto* text = new QLabel(result ? QStringLiteral("视频文件已生成")
                                   : QStringLiteral("正在生成视频文件，请耐心等待..."));
    text->setObjectName(QStringLiteral("labelText1"));
    text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    v->addWidget(text);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 26);
    buttons->setSpacing(24);
    buttons->addStretch();
    auto* open = new QPushButton(QStringLiteral("打开目录"));
    open->setProperty("class", QStringLiteral("btn_normal"));
    open->setFixedSize(100, 32);
    auto* play = new QPushButton(QStringLiteral("播放视频"));
    play->setProperty("class", QStringLiteral("btn_highlight"));
    play->setFixedSize(100, 32);
    buttons->addWidget(open);
    buttons->addWidget(play);
    buttons->addStretch();
    open->setVisible(result);
    play->setVisible(result);
    v->addStretch();
    v->addLayout(buttons);
    return panel;
}

QWidget* screenBar()
{
    auto* holder = new QFrame;
    holder->setStyleSheet(QStringLiteral("QFrame#shotHolder{background:#5A6E8C;}"));
    holder->setObjectName(QStringLiteral("shotHolder"));
    auto* l = new QHBoxLayout(holder);
    l->setContentsMargins(12, 12, 12, 12);
    auto* bar = new QFrame;
    bar->setObjectName(QStringLiteral("screenBar"));
    bar->setFixedSize(150, 36);
    bar->setStyleSheet(QSkin::styleSheet(QStringLiteral(":/qss/ScreenBar.css")));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    auto* apply = new QPushButton(QStringLiteral("完成"));
    apply->setObjectName(QStringLiteral("btnApply"));
    apply->setFixedSize(60, 28);
    auto* cancel = new QPushButton(QStringLiteral("取消"));
    cancel->setObjectName(QStringLiteral("btnCancel"));
    cancel->setFixedSize(60, 28);
    row->addWidget(apply);
    row->addWidget(cancel);
    l->addWidget(bar);
    return holder;
}

// --- Pages ---------------------------------------------------------------------------------------

// Opens a menu at the pointer when the watched frame is clicked, as the option tiles do.
class MenuOnClick : public QObject
{
public:
    MenuOnClick(QWidget* frame, HMenu* menu) : QObject(frame), menu_(menu)
    {
        frame->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonRelease)
            menu_->popup(QCursor::pos());
        return QObject::eventFilter(watched, event);
    }

private:
    HMenu* menu_;
};

HMenu* buildModeMenu(QWidget* parent)
{
    auto* menu = new HMenu(parent);
    auto* full = new HMenuItem(QStringLiteral("全屏录制"));
    menu->addItem(full);
    for (int i = 1; i <= 2; ++i)
        full->addSubItem(new HMenuItem(QStringLiteral("显示器%1").arg(i)));
    for (const QString& text :
         {QStringLiteral("区域录制"), QStringLiteral("游戏录制"), QStringLiteral("摄像头录制")})
        menu->addItem(new HMenuItem(text));
    full->subMenu()->items().at(1)->setSelected(true);
    return menu;
}

QWidget* widgetsPage(bool openPopups)
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("gallery"));
    page->setStyleSheet(QString::fromLatin1(kPageStyle));
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(24, 18, 24, 18);
    grid->setHorizontalSpacing(36);
    grid->setVerticalSpacing(20);

    grid->addWidget(
        section(QStringLiteral("Title bar: TPushButton text-only (normal, hover), minimise and close"),
                titleBar()),
        0, 0);
    grid->addWidget(
        section(QStringLiteral("Record and tool rows: TPushButton btn_common / btn_stop / btn_bottom"),
                recordRows()),
        0, 1);
    QWidget* menuTile = nullptr;
    QWidget* menuButton = nullptr;
    grid->addWidget(
        section(QStringLiteral("Option tiles: normal, hover, off and off-hover looks; HMenu with a sub-menu"),
                tiles(&menuTile, &menuButton)),
        1, 0, 1, 2);
    HComboBox* keyBox = nullptr;
    grid->addWidget(
        section(QStringLiteral(
                    "Settings controls: tabs, radio buttons, slider, line edit, HComboBox (key list open)"),
                settingsControls(&keyBox)),
        2, 0);
    auto* barsAndToolbar = new QWidget;
    auto* barsLayout = new QVBoxLayout(barsAndToolbar);
    barsLayout->setContentsMargins(0, 0, 0, 0);
    barsLayout->addWidget(floatBars());
    barsLayout->addWidget(column(screenBar(), QStringLiteral("selection toolbar")), 0, Qt::AlignLeft);
    grid->addWidget(
        section(QStringLiteral("Floating bar: idle, recording, paused; strips cut into their states"),
                barsAndToolbar),
        2, 1);

    auto* panels = new QWidget;
    auto* panelsLayout = new QHBoxLayout(panels);
    panelsLayout->setContentsMargins(0, 0, 0, 0);
    panelsLayout->setSpacing(16);
    QLabel* spinner = nullptr;
    panelsLayout->addWidget(column(processTip(false, &spinner), QStringLiteral("waiting")));
    panelsLayout->addWidget(column(processTip(true, nullptr), QStringLiteral("result")));
    panelsLayout->addStretch();
    grid->addWidget(section(QStringLiteral("Progress panel (QCustomShadowEffect on a child widget)"), panels),
                    3, 0);
    auto* boxes = new QWidget;
    auto* boxesLayout = new QHBoxLayout(boxes);
    boxesLayout->setContentsMargins(0, 0, 0, 0);
    boxesLayout->setSpacing(16);
    auto* notice = new QWidget;
    notice->setFixedSize(396, 206);
    auto* question = new QWidget;
    question->setFixedSize(396, 206);
    boxesLayout->addWidget(column(notice, QStringLiteral("mask 1")));
    boxesLayout->addWidget(column(question, QStringLiteral("mask 3")));
    boxesLayout->addStretch();
    grid->addWidget(section(QStringLiteral("HMessageBox"), boxes), 3, 1);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(2, 1);

    auto* frames = new QTimer(page);
    QObject::connect(frames, &QTimer::timeout, spinner, [spinner] {
        static int frame = 1;
        frame = frame % 12 + 1;
        spinner->setStyleSheet(QStringLiteral("border-image:url(:/animation/%1.png)").arg(frame));
    });
    frames->start(100);

    HMenu* menu = buildModeMenu(menuTile);
    new MenuOnClick(menuButton, menu);
    for (auto pair : {qMakePair(notice, 1), qMakePair(question, 3)}) {
        auto* button = new QPushButton(pair.second == 1 ? QStringLiteral("HMessageBox::message(1)")
                                                        : QStringLiteral("HMessageBox::message(3)"),
                                       pair.first);
        button->move(120, 90);
        QObject::connect(button, &QPushButton::clicked, pair.first, [pair] {
            HMessageBox::message(pair.first, QStringLiteral("确定要退出程序吗？"), QStringLiteral("提示"),
                                 pair.second);
        });
    }
    if (!openPopups)
        return page;

    // Pop-ups open once the page has its geometry.
    QTimer::singleShot(300, page, [notice, question, keyBox, menu, menuTile] {
        for (auto pair : {qMakePair(notice, 1), qMakePair(question, 3)}) {
            auto* box = new HMessageBox(pair.first);
            box->setTitle(QStringLiteral("提示"));
            box->setText(pair.second == 1
                             ? QStringLiteral("当前软件不具有该文件夹的写入权限，请选择其它文件夹！")
                             : QStringLiteral("确定要退出程序吗？"));
            box->setButtons(pair.second);
            box->show();
        }

        // The key list, shown as the combo box opens it, scrolled to the chosen key.
        HMenu* list = keyBox->menu();
        list->setFixedWidth(keyBox->width());
        list->adjustSize();
        list->move(keyBox->mapToGlobal(QPoint(0, keyBox->height())));
        list->show();

        menu->popup(menuTile->mapToGlobal(QPoint(70, 150)));
        auto* full = qobject_cast<HMenuItem*>(menu->items().first());
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(full, &enter);
    });
    return page;
}

QWidget* artworkPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("gallery"));
    page->setStyleSheet(QString::fromLatin1(kPageStyle));
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(24, 18, 24, 18);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(10);
    QStringList paths;
    for (const QString& root :
         {QStringLiteral(":/image"), QStringLiteral(":/Images"), QStringLiteral(":/animation")}) {
        QDirIterator it(root, QDir::Files);
        while (it.hasNext())
            paths << it.next();
    }
    std::sort(paths.begin(), paths.end());
    const int columns = 9;
    int index = 0;
    for (const QString& path : qAsConst(paths)) {
        const QPixmap pixmap(path);
        auto* cell = new QWidget;
        auto* v = new QVBoxLayout(cell);
        v->setContentsMargins(0, 0, 0, 0);
        v->setSpacing(3);
        auto* images = new QHBoxLayout;
        images->setSpacing(8);
        auto* actual = new QLabel;
        actual->setPixmap(pixmap);
        actual->setStyleSheet(QStringLiteral("background:#24272D;"));
        actual->setFixedSize(pixmap.size());
        images->addWidget(actual, 0, Qt::AlignTop);
        const int factor = pixmap.height() > 40 ? 1 : (pixmap.width() > 20 ? 2 : 4);
        if (factor > 1) {
            auto* zoomed = new QLabel;
            zoomed->setPixmap(
                pixmap.scaled(pixmap.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation));
            zoomed->setStyleSheet(QStringLiteral("background:#24272D;"));
            zoomed->setFixedSize(pixmap.size() * factor);
            images->addWidget(zoomed, 0, Qt::AlignTop);
        }
        images->addStretch();
        v->addLayout(images);
        v->addWidget(
            caption(QStringLiteral("%1  %2x%3").arg(path.mid(2)).arg(pixmap.width()).arg(pixmap.height())));
        grid->addWidget(cell, index / columns, index % columns, Qt::AlignTop | Qt::AlignLeft);
        ++index;
    }
    grid->setRowStretch(index / columns + 1, 1);
    return page;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QSkin::init();
    QResource::registerResource(QStringLiteral(REELCAST_SKIN_FILE));

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("page"), QStringLiteral("widgets or artwork."), QStringLiteral("page"),
                      QStringLiteral("widgets")});
    parser.addOption(
        {QStringLiteral("shot"), QStringLiteral("Save a screenshot and quit."), QStringLiteral("file")});
    parser.addOption({QStringLiteral("no-popups"), QStringLiteral("Open no menu or message box by itself.")});
    parser.addOption({QStringLiteral("delay"), QStringLiteral("Milliseconds before the screenshot."),
                      QStringLiteral("ms"), QStringLiteral("1200")});
    parser.process(app);

    QWidget* page = parser.value(QStringLiteral("page")) == QLatin1String("artwork")
                        ? artworkPage()
                        : widgetsPage(!parser.isSet(QStringLiteral("no-popups")));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    page->setGeometry(screen);
    page->show();

    if (parser.isSet(QStringLiteral("shot"))) {
        const QString file = parser.value(QStringLiteral("shot"));
        QTimer::singleShot(parser.value(QStringLiteral("delay")).toInt(), &app, [file, page] {
            QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
            if (shot.isNull())
                shot = page->grab();
            shot.save(file);
            QCoreApplication::quit();
        });
    }
    const int result = app.exec();
    delete page;
    return result;
}
