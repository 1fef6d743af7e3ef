#pragma once
// The phones' page as static files, for any web host: index.html, style.css, app.js and the NATS
// client for browsers it loads (vendor/), with that client's licence, and the clips of the numbers
// that its voice plays (voce/), the program's own.

#include <QString>
#include <QStringList>

// The files written, relative to the folder.
QStringList pageFiles();
// Writes them into `folder` (made if missing), replacing files of the same names; false with an
// Italian `why` when one could not be written.
bool savePage(const QString &folder, QString *why = nullptr);
