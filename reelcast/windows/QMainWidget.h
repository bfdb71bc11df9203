#pragma once

#include <QPoint>
#include <QRect>
#include <QStringList>
#include <QWidget>

#include <memory>

class CHelpProvider;
class QCaptureWidget;
class QFloatBar;
class QMenu;
class QProcessTip;
class TPushButton;

namespace Ui {
class QMainWidgetClass;
}

// The program's main window: the option tiles, the record and tool rows, and the recording flow
// that minimises it, drives the floating bar and shows the progress panel. Its phase follows from
// the recording manager, the floating bar and which windows are shown; it keeps none of its own.
class QMainWidget : public QWidget
{
    Q_OBJECT
public:
    explicit QMainWidget(QWidget* parent = nullptr);
    ~QMainWidget() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

signals:
    void prepare_screen();

public slots:
    void onBtnMin();
    void onBtnClose();
    void onBtnMenu();
    void onBtnSettings();
    void onBtnSavePath();
    void onBtnWaterMark();
    void onBtnStartRecord();
    void onBtnStopRecord();
    void onBtnPauseRcord();
    void onRecordFinished(bool ok, QString msg);
    void onRecordStoped(bool ok, QString msg);
    void onRecordError(QString msg);
    void onKeyStart();
    void onKeyStop();
    void onUserContactUs();
    void onSelectedArea(QRect rect);
    void onScreenClose();
    void onScreenStop();
    void onTimeChanged(uint curTime);

private:
    void initialize();
    TPushButton* createButton(const QString& text, int iconWidth, int iconHeight, int spacing,
                              const QString& cls, const QString& icon);
    void setButtonIcon(TPushButton* button, const QString& icon);
    void showMessage(const QString& text);
    // A box whose confirm button reads "去修改"; true when the user chose to change the folder.
    bool askToChange(const QString& text);
    bool checkBusy();
    void openSettings(int page);
    void updateDiskLabel();
    void setRecordingLook();
    void resetRecordingLook();
    void setPauseCaption(bool paused);
    void registerHotKeys();
    // Names the combinations another program holds and offers the settings to change them.
    void noticeHeldHotKeys();
    void handleLowDisk();
    // Asks `question`; on yes joins and saves the recordings in `folders` one after the other.
    void offerRecovery(const QStringList& folders, const QString& question);
    void recoverFolders(QStringList folders);

    Ui::QMainWidgetClass* ui_;
    QMenu* helpMenu_ = nullptr;
    CHelpProvider* helpProvider_ = nullptr;
    TPushButton* btnMenu_ = nullptr;
    TPushButton* btnSettings_ = nullptr;
    TPushButton* btnSavePath_ = nullptr;
    TPushButton* btnWaterMark_ = nullptr;
    TPushButton* btnStart_ = nullptr;
    TPushButton* btnPause_ = nullptr;
    TPushButton* btnStop_ = nullptr;
    QPoint pressPoint_;
    bool pressed_ = false;
    int edgeZone_ = 0;
    std::unique_ptr<QCaptureWidget> captureWidget_;
    QFloatBar* floatBar_ = nullptr;
    QProcessTip* processTip_ = nullptr;
    qint64 freeBytes_ = 0;
    // Set while the low-space handling is scheduled or running, so later ticks leave it alone.
    bool lowDiskWarned_ = false;
};
