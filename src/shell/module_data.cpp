#include "shell/module_data.h"
#include "shell/pending_error.h"

namespace Globals {
void ResetModuleData()
{
    ProgramClosing = false;
    RepeatCommand = 0;
    RepeatInterval = 0;
    SendCmdChannel = 0;
    SendCmdCommand.clear();
    SendCmdAutoClear = 0;
    SendFileName.clear();
    Err.Clear();

    using namespace Channel_Window;
    ChannelsCount = 0;
    ChannelState.fill(0);
    ChannelSettings.fill(QString());
    ChannelId.fill(QString());
    ChannelCommand.fill(QString());
    ChannelFilename.fill(QString());

    using namespace Communication_HW;
    Handshakes.fill(QString());
    DefaultIPSettings.clear();
    DefaultCOMSettings.clear();
    LastKeyWasTab = false;
    FieldCount = 0;
    AfterSign = false;
    AtLineStart = false;
}
} // namespace Globals
