#pragma once
// What colour a status pane shows its latest text in.

#include <QColor>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

// Colour of the last visible character of a pane.
inline QColor colourAtEnd(QTextEdit *pane)
{
    QTextBlock b = pane->document()->lastBlock();
    while (b.isValid() && b.text().isEmpty())
        b = b.previous();
    QTextFragment last;
    for (auto it = b.begin(); !it.atEnd(); ++it)
        last = it.fragment();
    return last.charFormat().foreground().color();
}
