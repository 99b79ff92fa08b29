#pragma once
// What every page of the main window shares: its page code, which it reports to the main window
// with a PageClosed event when it is destroyed; its refresh timer, running while the page is shown;
// and Esc, which closes the page.
//
// The refresh timer is a single-shot timer re-armed after each tick, so a refresh that takes longer
// than the period is followed by one tick a period later, never by a burst of queued ticks.

#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace orv::viewer {

class Module;

// Codes by which a page names itself in PageClosed.
namespace PageCode {
inline constexpr int kIdentity = 1;
inline constexpr int kDeviceNet = 3;
inline constexpr int kConnection = 5;
inline constexpr int kSerialInterface = 0x40;
inline constexpr int kIoMessaging = 0x100;
} // namespace PageCode

// The private message with which a page tells the main window that it is gone.
inline constexpr int kPageClosedMessage = 0xF1;

class PageClosedEvent final : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + kPageClosedMessage);

    explicit PageClosedEvent(int code) : QEvent(kType), code_(code) {}
    int Code() const { return code_; }

private:
    int code_;
};

// Modes of the serial interface page.
namespace SerialMode {
inline constexpr int kSetup = 0;
inline constexpr int kView = 1;
} // namespace SerialMode

// What the main window hands a page before it shows it.
struct PageContext {
    Module* module = nullptr;
    int allocationFlags = 0;
    int scnId = 0;
    int serialMode = SerialMode::kSetup; // the serial interface page's mode
};

class Page : public QWidget {
    Q_OBJECT

public:
    // `timerId` names the page's refresh timer; `periodMs` is its period.
    Page(int code, int timerId, int periodMs, QWidget* parent);
    // Sends PageClosed with the page's code to the main window.
    ~Page() override;

    int Code() const { return code_; }
    int TimerId() const { return timerId_; }
    int PeriodMs() const { return timer_.interval(); }
    bool TimerActive() const { return timer_.isActive(); }

    // One refresh, as the timer runs it.
    void Tick();

public slots:
    // Destroys the page once control is back in the event loop.
    void ClosePage();

protected:
    // The page's refresh; the timer is re-armed after it returns.
    virtual void Refresh() = 0;
    // What Enter does on the page (its default button), nothing by default.
    virtual void DefaultAction() {}

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int code_;
    int timerId_;
    QTimer timer_;
    QWidget* mainWindow_;
};

} // namespace orv::viewer
