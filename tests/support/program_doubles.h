#pragma once
// The main window with every desktop seam replaced by a double, for tests that drive the
// whole program. Declared in the order they install; they uninstall in reverse, so no real
// message box ever comes back while a window still runs.

#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>

#include "shell/frmMDIMain.h"
#include "shell/module_data.h"
#include "support/fake_key_grab.h"
#include "support/recording_desktop.h"
#include "support/scripted_prompts.h"

struct ProgramDoubles
{
    // Journals of their own, so one test never recovers what another left.
    QTemporaryDir stateFolder;
    ProgramDoubles() { qputenv("XDG_STATE_HOME", QFile::encodeName(stateFolder.path())); }

    ScriptedPrompts prompts;
    RecordingDesktop desktop;
    FakeKeyGrab grab;
    std::unique_ptr<frmMDIMain> main;

    // A program start: fresh module data, a new main window, its load event.
    frmMDIMain& start()
    {
        main.reset();
        Globals::ResetModuleData();
        main = std::make_unique<frmMDIMain>();
        main->MDIForm_Load();
        return *main;
    }
    // A program start with channels 1..count ON under one settings string.
    frmMDIMain& start(int count, const QString& settings)
    {
        start();
        Channel_Window::ChannelsCount = quint8(count);
        for (int n = 1; n <= count; ++n) {
            Channel_Window::ChannelState[n] = 1;
            Channel_Window::ChannelSettings[n] = settings;
        }
        return *main;
    }

    // Exactly one message box was shown, with these texts and this style.
    void expectOnlyBox(const QString& prompt, int style, const QString& title) const
    {
        QCOMPARE(prompts.boxes.size(), 1);
        QCOMPARE(prompts.boxes[0].prompt, prompt);
        QCOMPARE(prompts.boxes[0].style, style);
        QCOMPARE(prompts.boxes[0].title, title);
    }
};

// Every test function gets a settings store of its own in a fresh folder, and fresh doubles;
// m_fake->start() starts the program. A test with more to set up calls these from its own.
class ProgramTestCase : public QObject
{
    Q_OBJECT

protected:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::optional<ProgramDoubles> m_fake;

protected slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
        m_fake.emplace();
    }
    void cleanup() { m_fake.reset(); }
};
