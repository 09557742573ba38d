// What the Help, FAQ and About items of the assist menu do: they stay on
// this machine, so they work offline and always describe the installed
// version.
#pragma once

class QWidget;

// Opens the program's manual (the GUI's man page as a web page, a resource
// beside the program) in the desktop's browser. When it is missing, says
// where it was looked for.
void OpenManual(QWidget *owner);

// Opens the manual at its questions and answers, as OpenManual does.
void OpenManualQuestions(QWidget *owner);

// Shows the About box, window-modal and without blocking: the program's
// name, version and licence, and the folder of its scan logs as a link.
// The box deletes itself when closed; its object name is "about_box".
void ShowAboutBox(QWidget *owner);
