#pragma once
// What the main window's empty area shows while no channel window is open, as on a first
// start: how to add a balance, and a button that opens the channel list. It hides itself
// as soon as a channel window shows and comes back when the last one is gone.

#include <QWidget>
#include <functional>

class QMdiArea;
class QPushButton;

class EmptyAreaHint : public QWidget
{
    Q_OBJECT
public:
    // openChannels runs when the button is pressed.
    EmptyAreaHint(QMdiArea* area, std::function<void()> openChannels);

    void cmdChannels_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();

    QMdiArea* m_area;
    std::function<void()> m_openChannels;
    QPushButton* m_cmdChannels;
};
