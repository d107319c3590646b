#pragma once
// Qt's messages go to standard error, one line each with the date and time and the category
// of the subsystem that wrote them ("quorvane.comm", "quorvane.shell", ...), so what a user
// saw in a box can be read back from the journal. A subsystem is a folder under src/.

#include <QLoggingCategory>
#include <QString>
#include <string_view>

namespace Platform {

// Installs the handler and the line format, and runs the program's first contact with the
// display: Qt ends a program that finds no display with a fatal message and a core dump;
// until DisplayReached() such an end becomes one line saying what is missing and exit
// status 1. Call before the application object is made.
void InstallMessageLog();
void DisplayReached();

// The category of the subsystem a source file belongs to, by the folder that holds it;
// "quorvane" for files outside the subsystems.
const QLoggingCategory& SubsystemCategory(std::string_view sourceFile);

// A message box's title and text as one log line, its line breaks folded into " | ".
QString BoxLogText(const QString& title, const QString& prompt);

} // namespace Platform
