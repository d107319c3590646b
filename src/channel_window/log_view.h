#pragma once
// The read-only text view of a channel window. It shows received text with CR LF, CR and
// LF all as line breaks, also when a CR LF pair is split between two pieces.
//
// Appending costs the same at any document length: pieces go in at the end through a
// cursor of their own (whatever the user clicked), there is no undo history, and a run
// of characters without a line end is broken in the view every MaxLineLength characters,
// so that a balance that never sends a line end cannot make every append re-lay out a
// line of megabytes. The view follows new text only while it is scrolled to the bottom.

#include <QPlainTextEdit>
#include <QString>

class QTimer;

class LogView : public QPlainTextEdit
{
    Q_OBJECT
public:
    static constexpr int MaxLineLength = 4096;

    explicit LogView(QWidget* parent = nullptr);

    void AppendPiece(const QString& piece);
    void ClearLog();

    // True while the last line is in view (or everything fits), or is about to be.
    bool IsAtBottom() const;

private:
    QString viewText(const QString& piece);

    QTimer* m_followTimer;
    bool m_endsInCR = false;
    int m_lineLength = 0;
};
