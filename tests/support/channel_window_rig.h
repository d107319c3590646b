#pragma once
// Channel windows without the main window: an MDI area of their own, unopened serial and
// socket elements to bind to, scripted prompts and a fresh journal folder per test function.

#include <QFile>
#include <QMdiArea>
#include <QTemporaryDir>
#include <memory>

#include "channel_window/channel_journal.h"
#include "channel_window/channel_window.h"
#include "comm/channel_connections.h"
#include "shell/module_data.h"
#include "support/scripted_prompts.h"

class ChannelWindowTestCase : public QObject
{
    Q_OBJECT

protected:
    Communication_HW::SerialArray m_serial;
    Communication_HW::SocketArray m_socket;
    QMdiArea m_area;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompts> m_prompts;

    // Journals go to folder from now on, none left open in the one before.
    static void useStateFolder(const QString& folder)
    {
        qputenv("XDG_STATE_HOME", QFile::encodeName(folder));
        Channel_Journal::Recover();
    }
    static QByteArray fileBytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    }

protected slots:
    void initTestCase()
    {
        Communication_HW::BindElements(&m_serial, &m_socket);
        m_area.resize(800, 600);
        m_area.show();
        Channel_Window::SetMdiArea(&m_area);
    }
    // Each case starts without the journals an earlier one left, as after a clean quit.
    void init()
    {
        Globals::ResetModuleData();
        m_dir = std::make_unique<QTemporaryDir>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        useStateFolder(m_dir->path());
        Channel_Window::ChannelsCount = 4;
    }
    void cleanup()
    {
        Channel_Window::DestroyAllChannelWindows();
        m_prompts.reset();
    }
};
