#include "support/recording_desktop.h"

RecordingDesktop::RecordingDesktop()
{
    Platform::SetDesktop(this);
}

RecordingDesktop::~RecordingDesktop()
{
    Platform::SetDesktop(nullptr);
}
