#pragma once
// The club that runs the evenings: its name and a contact, set once by the caller and kept with the
// program's settings (~/.config/tombola/circolo.ini); the window's contact line shows them, a click
// on it changes them, and the verbale prints them.

#include "evening/verbale.h"

class Form1;

ClubInfo loadClub();
bool saveClub(const ClubInfo &club, QString *why = nullptr);

// The contact line of the window shows the club, and a click on it opens the dialog to change it.
void installClub(Form1 &form);
// "E-Mail > tombola@sanrocco.it", or the invitation to set it.
QString contactLine(const ClubInfo &club);
