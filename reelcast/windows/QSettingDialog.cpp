#include "QSettingDialog.h"

#include "CGlobal.h"
#include "HComboBox.h"
#include "HMessageBox.h"
#include "QEventManager.h"
#include "QKeyManager.h"
#include "QMarkSettings.h"
#include "QPath.h"
#include "QTabButton.h"
#include "QVideoSettings.h"
#include "Utilities.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The keys a hot key can end with, in the order the boxes list them ("0" is not offered).
const QStringList& hotKeyNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (int i = 1; i <= 12; ++i)
            list << QStringLiteral("F%1").arg(i);
        for (char c = '1'; c <= '9'; ++c)
            list << QString(QLatin1Char(c));
        for (char c = 'A'; c <= 'Z'; ++c)
            list << QString(QLatin1Char(c));
        return list;
    }();
    return names;
}

QLabel* label(const char* name, const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QPushButton* pushButton(const char* name, const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setCursor(Qt::PointingHandCursor);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QRadioButton* radio(const QString& name, const QString& text, QWidget* parent)
{
    auto* r = new QRadioButton(text, parent);
    r->setObjectName(name);
    r->setCursor(Qt::PointingHandCursor);
    return r;
}

QLineEdit* lineEdit(const char* name, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setMinimumHeight(32);
    return e;
}

QSlider* slider(const char* name, int width, QWidget* parent)
{
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(0, 100);
    s->setFixedWidth(width);
    s->setMinimumHeight(32);
    s->setCursor(Qt::PointingHandCursor);
    return s;
}

QHBoxLayout* row(const char* name)
{
    auto* r = new QHBoxLayout;
    r->setObjectName(QString::fromLatin1(name));
    r->setSpacing(8);
    r->setContentsMargins(0, 0, 0, 0);
    return r;
}

QLabel* sectionTitle(const char* name, const QString& text, QWidget* parent)
{
    QLabel* l = label(name, text, parent);
    l->setMaximumHeight(18);
    return l;
}

// Shows a path from its start, not from where the cursor was left.
void showPath(QLineEdit* edit, const QString& path)
{
    edit->setText(path);
    edit->setCursorPosition(0);
}

void repaintLater(QWidget* widget)
{
    QTimer::singleShot(50, widget, [widget] { widget->update(); });
}

} // namespace

QSettingDialog::QSettingDialog(QWidget* parent, int page) : QBaseDialog(parent)
{
    initDialog(QStringLiteral(":/qss/MarkSetting.css"));
    // A combination another program held may be free by now; the page then shows a working key.
    QKeyManager::instance()->retryHeld();
    buildForm();
    QEventManager* registry = QEventManager::instance();
    registry->connectSlot(this, SIGNAL(select_quality(int)), QualityItem, SLOT(onSelectedQuality(int)));
    registry->connectSlot(this, SIGNAL(select_format(int)), FormatItem, SLOT(onSelectedFormat(int)));
    fill();
    wire();
    onTabClicked(page);
}

void QSettingDialog::buildForm()
{
    setObjectName(QStringLiteral("QSettingDialog"));
    resize(712, 445);
    setWindowTitle(QStringLiteral("QMarkSettingDialog"));
    auto* dialogLayout = new QVBoxLayout(this);
    dialogLayout->setSpacing(0);
    dialogLayout->setContentsMargins(4, 4, 4, 4);
    m_frameMain = new QFrame(this);
    m_frameMain->setObjectName(QStringLiteral("frameMain"));
    dialogLayout->addWidget(m_frameMain);
    auto* mainLayout = new QVBoxLayout(m_frameMain);
    mainLayout->setSpacing(0);
    mainLayout->setContentsMargins(0, 0, 0, 0);

    auto* frameTitle = new QFrame(m_frameMain);
    frameTitle->setObjectName(QStringLiteral("frameTitle"));
    frameTitle->setFixedHeight(48);
    auto* titleLayout = new QHBoxLayout(frameTitle);
    titleLayout->setSpacing(0);
    titleLayout->setContentsMargins(16, 0, 10, 0);
    titleLayout->addWidget(label("labelTitle", tr("水印设置"), frameTitle));
    titleLayout->addItem(new QSpacerItem(288, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_btnClose = pushButton("btnClose", QString(), frameTitle);
    m_btnClose->setFixedSize(30, 24);
    titleLayout->addWidget(m_btnClose);
    mainLayout->addWidget(frameTitle);

    auto* bodyLayout = new QHBoxLayout;
    bodyLayout->setSpacing(0);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    auto* frameLeft = new QFrame(m_frameMain);
    frameLeft->setObjectName(QStringLiteral("frameLeft"));
    frameLeft->setFixedWidth(136);
    auto* leftLayout = new QVBoxLayout(frameLeft);
    leftLayout->setSpacing(0);
    leftLayout->setContentsMargins(0, 12, 0, 0);
    m_tabLayout = new QVBoxLayout;
    m_tabLayout->setObjectName(QStringLiteral("vLayoutTabs"));
    m_tabLayout->setSpacing(0);
    leftLayout->addLayout(m_tabLayout);
    leftLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    bodyLayout->addWidget(frameLeft);

    auto* rightLayout = new QVBoxLayout;
    rightLayout->setSpacing(0);
    rightLayout->setContentsMargins(30, 20, 30, 20);
    m_stackedWidget = new QStackedWidget(m_frameMain);
    m_stackedWidget->setObjectName(QStringLiteral("stackedWidget"));
    m_stackedWidget->addWidget(buildCommonPage());
    m_stackedWidget->addWidget(buildHotKeyPage());
    m_stackedWidget->addWidget(buildMarkPage());
    rightLayout->addWidget(m_stackedWidget);
    auto* applyRow = new QHBoxLayout;
    applyRow->addStretch();
    m_btnApply = pushButton("btnApply", tr("确定"), m_frameMain);
    m_btnApply->setFixedSize(100, 32);
    applyRow->addWidget(m_btnApply);
    applyRow->addStretch();
    rightLayout->addLayout(applyRow);
    bodyLayout->addLayout(rightLayout);
    mainLayout->addLayout(bodyLayout);
}

QWidget* QSettingDialog::buildCommonPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("pageCommon"));
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(10);
    layout->setContentsMargins(0, 0, 0, 0);

    layout->addWidget(sectionTitle("labelTitle1", tr("画质"), page));
    auto* frame = new QFrame(page);
    frame->setObjectName(QStringLiteral("frame"));
    frame->setFixedHeight(83);
    auto* qualityGrid = new QGridLayout(frame);
    qualityGrid->setContentsMargins(13, 0, 0, 0);
    const QString qualities[4] = {tr("低质量（180Kbps）"), tr("推荐（300Kbps）"), tr("高质量（500Kbps）"),
                                  tr("高清（800Kbps）")};
    for (int i = 0; i < 4; ++i) {
        m_radioQuality[i] = radio(QStringLiteral("radioQuality%1").arg(i + 1), qualities[i], frame);
        qualityGrid->addWidget(m_radioQuality[i], i / 2, i % 2);
    }
    layout->addWidget(frame);

    layout->addWidget(sectionTitle("labelTitle2", tr("格式"), page));
    auto* frame2 = new QFrame(page);
    frame2->setObjectName(QStringLiteral("frame_2"));
    frame2->setFixedHeight(47);
    auto* formatRow = new QHBoxLayout(frame2);
    formatRow->setContentsMargins(13, 0, 0, 0);
    formatRow->setSpacing(40);
    const char* const formats[3] = {"AVI", "MP4", "FLV"};
    for (int i = 0; i < 3; ++i) {
        m_radioFmt[i] =
            radio(QStringLiteral("radioFmt%1").arg(i + 1), QString::fromLatin1(formats[i]), frame2);
        formatRow->addWidget(m_radioFmt[i]);
    }
    formatRow->addStretch();
    layout->addWidget(frame2);

    layout->addWidget(sectionTitle("labelTitle3", tr("保存到文件夹"), page));
    auto* saveRow = new QHBoxLayout;
    saveRow->setContentsMargins(13, 0, 0, 0);
    saveRow->setSpacing(12);
    m_lineEditSave = lineEdit("lineEditSave", page);
    m_lineEditSave->setReadOnly(true);
    m_lineEditSave->setMinimumWidth(308);
    saveRow->addWidget(m_lineEditSave);
    m_btnSelected = pushButton("btnSelected", tr("更改目录"), page);
    saveRow->addWidget(m_btnSelected);
    m_btnOpenFolder = pushButton("btnOpenFolder", tr("打开文件夹"), page);
    saveRow->addWidget(m_btnOpenFolder);
    saveRow->addStretch();
    layout->addLayout(saveRow);
    layout->addStretch();
    return page;
}

QWidget* QSettingDialog::buildHotKeyPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("pageHotKey"));
    auto* layout = new QGridLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(10);
    layout->setVerticalSpacing(20);
    const struct
    {
        const char* title;
        QString text;
        const char* row;
        const char* plus;
        QHBoxLayout** layout;
    } rows[2] = {{"labelTitle4", tr("开始/暂停"), "hLayoutStart", "labelText21", &m_startRow},
                 {"labelTitle5", tr("结束录制"), "hLayoutStop", "labelText22", &m_stopRow}};
    for (int i = 0; i < 2; ++i) {
        QLabel* title = label(rows[i].title, rows[i].text, page);
        title->setMinimumWidth(130);
        title->setMaximumHeight(18);
        layout->addWidget(title, i, 0);
        QHBoxLayout* keys = row(rows[i].row);
        keys->addWidget(label(rows[i].plus, QStringLiteral("+"), page));
        keys->addStretch();
        layout->addLayout(keys, i, 1);
        *rows[i].layout = keys;
    }
    // Where the desktop binds the keys, or binds none, the combinations here are not grabbed.
    const QKeyManager::Binding binding = QKeyManager::instance()->binding();
    if (binding != QKeyManager::Binding::Own) {
        QLabel* note = label("labelKeyNote",
                             binding == QKeyManager::Binding::Desktop
                                 ? tr("快捷键由桌面绑定：这里的组合只是建议，可在桌面的快捷键设置中更改。")
                                 : tr("此桌面不提供全局快捷键：请在桌面的键盘设置中把“reelcast "
                                      "--toggle”（开始/暂停）和“reelcast --stop”（停止）设为快捷键。"),
                             page);
        note->setWordWrap(true);
        layout->addWidget(note, 2, 0, 1, 2);
    }
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(3, 1);
    return page;
}

QWidget* QSettingDialog::buildMarkPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("pageMark"));
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(6);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* frame3 = new QFrame(page);
    frame3->setObjectName(QStringLiteral("frame_3"));
    frame3->setFixedHeight(48);
    auto* typeRow = new QHBoxLayout(frame3);
    typeRow->setContentsMargins(0, 0, 0, 0);
    typeRow->setSpacing(24);
    typeRow->addWidget(sectionTitle("labelTitle6", tr("水印设置"), frame3));
    const QString types[3] = {tr("不使用水印"), tr("图片水印"), tr("文字水印")};
    for (int i = 0; i < 3; ++i) {
        m_radioMark[i] = radio(QStringLiteral("radioMark%1").arg(i + 1), types[i], frame3);
        typeRow->addWidget(m_radioMark[i]);
    }
    typeRow->addStretch();
    layout->addWidget(frame3);

    m_stackedWidgetMark = new QStackedWidget(page);
    m_stackedWidgetMark->setObjectName(QStringLiteral("stackedWidgetMark"));
    auto* none = new QWidget;
    none->setObjectName(QStringLiteral("pageMarkNone"));
    m_stackedWidgetMark->addWidget(none);

    auto* image = new QWidget;
    image->setObjectName(QStringLiteral("pageMarkImage"));
    auto* imageGrid = new QGridLayout(image);
    imageGrid->setContentsMargins(13, 6, 0, 0);
    imageGrid->setHorizontalSpacing(16);
    imageGrid->setVerticalSpacing(14);
    imageGrid->addWidget(label("labelText6", tr("图片文件"), image), 0, 0);
    auto* fileRow = new QHBoxLayout;
    fileRow->setSpacing(10);
    m_lineEditImage = lineEdit("lineEditImage", image);
    m_lineEditImage->setMinimumWidth(242);
    fileRow->addWidget(m_lineEditImage);
    m_btnImport = pushButton("btnImport", tr("添加图片"), image);
    m_btnImport->setMinimumHeight(32);
    fileRow->addWidget(m_btnImport);
    fileRow->addStretch();
    imageGrid->addLayout(fileRow, 0, 1);
    imageGrid->addWidget(label("labelText7", tr("透明度"), image), 1, 0);
    auto* imageOpacityRow = new QHBoxLayout;
    imageOpacityRow->setSpacing(10);
    m_imageOpacity = slider("hImageOpacity", 106, image);
    imageOpacityRow->addWidget(m_imageOpacity);
    m_labelImageOpacity = label("labelImageOpacity", QStringLiteral("100%"), image);
    imageOpacityRow->addWidget(m_labelImageOpacity);
    imageOpacityRow->addStretch();
    imageGrid->addLayout(imageOpacityRow, 1, 1);
    imageGrid->addWidget(label("labelText8", tr("水印位置"), image), 2, 0);
    m_imagePosRow = row("hLayoutImagePos");
    m_imagePosRow->addStretch();
    imageGrid->addLayout(m_imagePosRow, 2, 1);
    imageGrid->setColumnStretch(1, 1);
    imageGrid->setRowStretch(3, 1);
    m_stackedWidgetMark->addWidget(image);

    auto* text = new QWidget;
    text->setObjectName(QStringLiteral("pageMarkText"));
    auto* textGrid = new QGridLayout(text);
    textGrid->setContentsMargins(13, 6, 0, 0);
    textGrid->setHorizontalSpacing(16);
    textGrid->setVerticalSpacing(10);
    textGrid->addWidget(label("labelText1", tr("水印内容"), text), 0, 0);
    m_lineEditText = lineEdit("lineEditText", text);
    m_lineEditText->setMinimumWidth(242);
    auto* contentRow = new QHBoxLayout;
    contentRow->addWidget(m_lineEditText);
    contentRow->addStretch();
    textGrid->addLayout(contentRow, 0, 1);
    textGrid->addWidget(label("labelText2", tr("字体大小"), text), 1, 0);
    auto* sizeRow = new QHBoxLayout;
    m_lineEditSize = lineEdit("lineEditSize", text);
    m_lineEditSize->setFixedWidth(82);
    sizeRow->addWidget(m_lineEditSize);
    sizeRow->addStretch();
    textGrid->addLayout(sizeRow, 1, 1);
    textGrid->addWidget(label("labelText3", tr("字体颜色"), text), 2, 0);
    m_colorRow = row("hLayoutColor");
    m_colorRow->addStretch();
    textGrid->addLayout(m_colorRow, 2, 1);
    textGrid->addWidget(label("labelText4", tr("字体位置"), text), 3, 0);
    m_textPosRow = row("hLayoutTextPos");
    m_textPosRow->addStretch();
    textGrid->addLayout(m_textPosRow, 3, 1);
    textGrid->addWidget(label("labelText5", tr("透明度"), text), 4, 0);
    auto* textOpacityRow = new QHBoxLayout;
    textOpacityRow->setSpacing(10);
    m_textOpacity = slider("hTextOpacity", 110, text);
    textOpacityRow->addWidget(m_textOpacity);
    m_labelTextOpacity = label("labelTextOpacity", QStringLiteral("100%"), text);
    textOpacityRow->addWidget(m_labelTextOpacity);
    textOpacityRow->addStretch();
    textGrid->addLayout(textOpacityRow, 4, 1);
    textGrid->setColumnStretch(1, 1);
    textGrid->setRowStretch(5, 1);
    m_stackedWidgetMark->addWidget(text);

    layout->addWidget(m_stackedWidgetMark);
    return page;
}

HComboBox* QSettingDialog::hotKeyBox(const QStringList& entries, bool scrollBar)
{
    auto* box = new HComboBox(this);
    box->addItems(entries);
    box->setFixedSize(75, 28);
    box->setCursor(Qt::PointingHandCursor);
    if (scrollBar)
        box->setScrollBarVisible(true);
    return box;
}

void QSettingDialog::fill()
{
    const QString tabTexts[3] = {tr("通用"), tr("热键"), tr("水印")};
    for (int page = 0; page < 3; ++page) {
        auto* tab = new QTabButton(this);
        tab->setText(tabTexts[page]);
        m_tabs.insert(page, tab);
        connect(tab, &QTabButton::clicked, this, [this, page] { onTabClicked(page); });
        m_tabLayout->addWidget(tab);
    }

    const int quality = QVideoSettings::getQuality();
    for (int level = 0; level < 4; ++level) {
        connect(m_radioQuality[level], &QRadioButton::clicked, this,
                [this, level] { onQualityChanged(level); });
        if (level == quality)
            m_radioQuality[level]->setChecked(true);
    }
    // In the order of the radios: AVI, MP4, FLV. WMV has none, so a stored WMV checks nothing.
    const int formats[3] = {AVI, MP4, FLV};
    const int format = QVideoSettings::getFormat();
    for (int i = 0; i < 3; ++i) {
        const int value = formats[i];
        connect(m_radioFmt[i], &QRadioButton::clicked, this, [this, value] { onFormatChanged(value); });
        if (value == format)
            m_radioFmt[i]->setChecked(true);
    }

    const int markType = QMarkSettings::getType();
    m_stackedWidgetMark->setCurrentIndex(markType);
    if (markType >= 0 && markType < 3)
        m_radioMark[markType]->setChecked(true);

    m_lineEditSize->setValidator(new QIntValidator(0, 9999, m_lineEditSize));
    m_lineEditSize->setText(QString::number(QMarkSettings::getTextSize()));
    m_lineEditText->setText(QMarkSettings::getText());
    showPath(m_lineEditSave, QVideoSettings::getSavePath());
    showPath(m_lineEditImage, QMarkSettings::getImage());
    m_lineEditText->setCursorPosition(0);
    m_lineEditSize->setCursorPosition(0);

    const int imageOpacity = QMarkSettings::getImageOpacity();
    const int textOpacity = QMarkSettings::getTextOpacity();
    m_imageOpacity->setValue(imageOpacity);
    m_textOpacity->setValue(textOpacity);
    m_labelImageOpacity->setText(QStringLiteral("%1%").arg(imageOpacity));
    m_labelTextOpacity->setText(QStringLiteral("%1%").arg(textOpacity));

    const QStringList corners = {tr("左上角"), tr("右上角"), tr("左下角"), tr("右下角")};
    auto* imagePos = new HComboBox(this);
    imagePos->addItems(corners);
    imagePos->setFixedWidth(106);
    imagePos->setCurrentIndex(QMarkSettings::getImagePos());
    connect(imagePos, &HComboBox::currentIndexChanged, this, &QSettingDialog::onImagePosChanged);
    m_imagePosRow->insertWidget(0, imagePos);
    auto* textPos = new HComboBox(this);
    textPos->addItems(corners);
    textPos->setFixedWidth(82);
    textPos->setCurrentIndex(QMarkSettings::getTextPos());
    connect(textPos, &HComboBox::currentIndexChanged, this, &QSettingDialog::onTextPosChanged);
    m_textPosRow->insertWidget(0, textPos);
    auto* color = new HComboBox(this);
    color->addItems({tr("黑色"), tr("白色"), tr("红色"), tr("黄色"), tr("绿色"), tr("蓝色")});
    color->setFixedWidth(82);
    color->setCurrentIndex(QMarkSettings::getTextColor());
    connect(color, &HComboBox::currentIndexChanged, this, &QSettingDialog::onTextColorChanged);
    m_colorRow->insertWidget(0, color);

    const QStringList modifiers = {tr("Alt"), tr("Ctrl"), tr("Shift")};
    const struct
    {
        QHBoxLayout* row;
        QString first;
        QString second;
        bool (QSettingDialog::*onFirst)(QString);
        bool (QSettingDialog::*onSecond)(QString);
    } hotKeys[2] = {{m_startRow, QVideoSettings::getKeyStartFirst(), QVideoSettings::getKeyStartSecond(),
                     &QSettingDialog::onKeyStartFirstChanged, &QSettingDialog::onKeyStartSecondChanged},
                    {m_stopRow, QVideoSettings::getKeyStopFirst(), QVideoSettings::getKeyStopSecond(),
                     &QSettingDialog::onKeyStopFirstChanged, &QSettingDialog::onKeyStopSecondChanged}};
    for (const auto& hotKey : hotKeys) {
        HComboBox* first = hotKeyBox(modifiers, false);
        first->setObjectName(
            QString::fromLatin1(hotKey.row == m_startRow ? "comboStartFirst" : "comboStopFirst"));
        first->setCurrentText(hotKey.first);
        connect(first, &HComboBox::currentTextChanged, this, hotKey.onFirst);
        hotKey.row->insertWidget(0, first);
        HComboBox* second = hotKeyBox(hotKeyNames(), true);
        second->setObjectName(
            QString::fromLatin1(hotKey.row == m_startRow ? "comboStartSecond" : "comboStopSecond"));
        second->setCurrentText(hotKey.second);
        connect(second, &HComboBox::currentTextChanged, this, hotKey.onSecond);
        // After the modifier box and the "+".
        hotKey.row->insertWidget(2, second);
    }
}

void QSettingDialog::wire()
{
    connect(m_btnClose, &QPushButton::clicked, this, &QSettingDialog::onClose);
    connect(m_btnApply, &QPushButton::clicked, this, &QSettingDialog::onOK);
    for (int type = 0; type < 3; ++type)
        connect(m_radioMark[type], &QRadioButton::clicked, this, [this, type] { onRadioMarkClicked(type); });
    connect(m_btnOpenFolder, &QPushButton::clicked, this, &QSettingDialog::onBtnOpenDir);
    connect(m_btnSelected, &QPushButton::clicked, this, &QSettingDialog::onBtnSelectedDir);
    connect(m_btnImport, &QPushButton::clicked, this, &QSettingDialog::onBtnSelectedImage);
    connect(m_imageOpacity, &QSlider::valueChanged, this, &QSettingDialog::onImageOpacityChanged);
    connect(m_textOpacity, &QSlider::valueChanged, this, &QSettingDialog::onTextOpacityChanged);
    connect(m_lineEditSize, &QLineEdit::textChanged, this, &QSettingDialog::onTextSizeChanged);
    connect(m_lineEditText, &QLineEdit::textChanged, this, &QSettingDialog::onMarkTextChanged);
}

void QSettingDialog::onTabClicked(int nType)
{
    // Only the three pages have a tab; anything else leaves the dialog as it is.
    if (!m_tabs.contains(nType))
        return;
    m_page = nType;
    for (auto it = m_tabs.cbegin(); it != m_tabs.cend(); ++it) {
        if (it.key() != nType)
            it.value()->setChecked(false);
    }
    m_stackedWidget->setCurrentIndex(nType);
    m_tabs.value(nType)->setChecked(true);
}

void QSettingDialog::onRadioMarkClicked(int nType)
{
    QMarkSettings::setType(nType);
    m_stackedWidgetMark->setCurrentIndex(nType);
}

bool QSettingDialog::onTextColorChanged(int index)
{
    QMarkSettings::setTextColor(index);
    return true;
}

bool QSettingDialog::onTextPosChanged(int index)
{
    QMarkSettings::setTextPos(index);
    return true;
}

bool QSettingDialog::onImagePosChanged(int index)
{
    QMarkSettings::setImagePos(index);
    return true;
}

bool QSettingDialog::onKeyStartFirstChanged(QString text)
{
    return changeHotKey(0, true, text);
}

bool QSettingDialog::onKeyStartSecondChanged(QString text)
{
    return changeHotKey(0, false, text);
}

bool QSettingDialog::onKeyStopFirstChanged(QString text)
{
    return changeHotKey(1, true, text);
}

bool QSettingDialog::onKeyStopSecondChanged(QString text)
{
    return changeHotKey(1, false, text);
}

bool QSettingDialog::changeHotKey(int kind, bool modifierBox, const QString& text)
{
    const QString storedFirst =
        kind == 0 ? QVideoSettings::getKeyStartFirst() : QVideoSettings::getKeyStopFirst();
    const QString storedSecond =
        kind == 0 ? QVideoSettings::getKeyStartSecond() : QVideoSettings::getKeyStopSecond();
    if (text == (modifierBox ? storedFirst : storedSecond))
        return false;
    const int first = QKeyManager::keyCode(modifierBox ? text : storedFirst);
    const int second = QKeyManager::keyCode(modifierBox ? storedSecond : text);
    QKeyManager* keys = QKeyManager::instance();
    if (keys->isHotKeyUsed(first, second)) {
        HMessageBox::message(this, tr("热键有冲突，请更换其它快捷键！"), tr("提示"), 1);
        return false;
    }
    keys->removeHotKey(kind);
    keys->setHotKey(first, second, kind);
    if (keys->isHeldElsewhere(kind)) {
        // Another program holds it: it would never fire. The old combination comes back.
        keys->removeHotKey(kind);
        keys->setHotKey(QKeyManager::keyCode(storedFirst), QKeyManager::keyCode(storedSecond), kind);
        HMessageBox::message(this, tr("热键有冲突，请更换其它快捷键！"), tr("提示"), 1);
        return false;
    }
    if (kind == 0 && modifierBox)
        QVideoSettings::setKeyStartFirst(text);
    else if (kind == 0)
        QVideoSettings::setKeyStartSecond(text);
    else if (modifierBox)
        QVideoSettings::setKeyStopFirst(text);
    else
        QVideoSettings::setKeyStopSecond(text);
    return true;
}

void QSettingDialog::onQualityChanged(int quality)
{
    QVideoSettings::setQuality(quality);
    emit select_quality(quality);
}

void QSettingDialog::onFormatChanged(int format)
{
    QVideoSettings::setFormat(format);
    emit select_format(format);
}

void QSettingDialog::onBtnOpenDir()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QVideoSettings::getSavePath()));
}

void QSettingDialog::onBtnSelectedDir()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("选择视频保存路径"), CGlobal::getDesktopPath(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    if (!isFolderWritable(folder)) {
        HMessageBox::message(this, tr("当前软件不具有该文件夹的写入权限，请选择其它文件夹！"), tr("提示"), 1);
        return;
    }
    // The system's own separators: back-slashes where they are the separator, and only there.
    const QString path = QDir::toNativeSeparators(folder);
    showPath(m_lineEditSave, path);
    QVideoSettings::setSavePath(path);
    repaintLater(m_lineEditSave);
}

void QSettingDialog::onBtnSelectedImage()
{
    const QString stored = QMarkSettings::getImage();
    const QString start = stored.isEmpty() ? CGlobal::getDesktopPath() : QFileInfo(stored).absolutePath();
    const QString file =
        QFileDialog::getOpenFileName(this, tr("选择水印图片(png格式)"), start,
                                     QStringLiteral("All Formats (*.png);;PNG (*.png);;All Files (*.*)"));
    if (file.isEmpty())
        return;
    const QString path = QDir::toNativeSeparators(file);
    showPath(m_lineEditImage, path);
    // A copy beside the program; neither step is checked, the stored path is what counts. Only a
    // picture file is copied: a FIFO or a device would hold the window for ever.
    if (QMarkSettings::isPictureFile(file)) {
        const QString copy = QPath::programFolder() + QStringLiteral("mark.png");
        QFile::remove(copy);
        QFile::copy(file, copy);
    }
    QMarkSettings::setImage(path);
    repaintLater(m_lineEditImage);
}

void QSettingDialog::onImageOpacityChanged(int val)
{
    QMarkSettings::setImageOpacity(val);
    m_labelImageOpacity->setText(QStringLiteral("%1%").arg(val));
}

void QSettingDialog::onTextOpacityChanged(int val)
{
    QMarkSettings::setTextOpacity(val);
    m_labelTextOpacity->setText(QStringLiteral("%1%").arg(val));
}

void QSettingDialog::onTextSizeChanged(QString text)
{
    // An emptied field stores 0.
    QMarkSettings::setTextSize(text.toInt(nullptr, 10));
}

void QSettingDialog::onMarkTextChanged(QString text)
{
    QMarkSettings::setText(text);
}
