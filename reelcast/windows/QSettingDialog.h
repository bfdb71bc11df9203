#pragma once

#include "QBaseDialog.h"

#include <QMap>

class HComboBox;
class QFrame;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QStackedWidget;
class QTabButton;
class QVBoxLayout;

// The modal dialog of the persistent options: quality, container and save folder; the two hot
// keys; the watermark. Every change is stored (and a hot key registered) the moment it is made,
// so closing the dialog applies nothing.
class QSettingDialog : public QBaseDialog
{
    Q_OBJECT
public:
    // page: 0 general, 1 hot keys, 2 watermark.
    QSettingDialog(QWidget* parent, int page);

signals:
    void select_quality(int);
    void select_format(int);

public slots:
    void onTabClicked(int nType);
    void onRadioMarkClicked(int nType);
    bool onTextColorChanged(int index);
    bool onTextPosChanged(int index);
    bool onImagePosChanged(int index);
    bool onKeyStartFirstChanged(QString text);
    bool onKeyStartSecondChanged(QString text);
    bool onKeyStopFirstChanged(QString text);
    bool onKeyStopSecondChanged(QString text);
    void onQualityChanged(int);
    void onFormatChanged(int);
    void onBtnOpenDir();
    void onBtnSelectedDir();
    void onBtnSelectedImage();
    void onImageOpacityChanged(int val);
    void onTextOpacityChanged(int val);
    void onTextSizeChanged(QString text);
    void onMarkTextChanged(QString text);

private:
    void buildForm();
    QWidget* buildCommonPage();
    QWidget* buildHotKeyPage();
    QWidget* buildMarkPage();
    void fill();
    void wire();
    // One hot-key box changed: kind 0 start, 1 stop; the modifier box or the key box.
    bool changeHotKey(int kind, bool modifierBox, const QString& text);
    HComboBox* hotKeyBox(const QStringList& entries, bool scrollBar);

    QMap<int, QTabButton*> m_tabs;
    int m_page = 0;

    QFrame* m_frameMain = nullptr;
    QPushButton* m_btnClose = nullptr;
    QVBoxLayout* m_tabLayout = nullptr;
    QStackedWidget* m_stackedWidget = nullptr;
    QPushButton* m_btnApply = nullptr;

    QRadioButton* m_radioQuality[4] = {};
    QRadioButton* m_radioFmt[3] = {};
    QLineEdit* m_lineEditSave = nullptr;
    QPushButton* m_btnSelected = nullptr;
    QPushButton* m_btnOpenFolder = nullptr;

    QHBoxLayout* m_startRow = nullptr;
    QHBoxLayout* m_stopRow = nullptr;

    QRadioButton* m_radioMark[3] = {};
    QStackedWidget* m_stackedWidgetMark = nullptr;
    QLineEdit* m_lineEditImage = nullptr;
    QPushButton* m_btnImport = nullptr;
    QSlider* m_imageOpacity = nullptr;
    QLabel* m_labelImageOpacity = nullptr;
    QHBoxLayout* m_imagePosRow = nullptr;
    QLineEdit* m_lineEditText = nullptr;
    QLineEdit* m_lineEditSize = nullptr;
    QHBoxLayout* m_colorRow = nullptr;
    QHBoxLayout* m_textPosRow = nullptr;
    QSlider* m_textOpacity = nullptr;
    QLabel* m_labelTextOpacity = nullptr;
};
