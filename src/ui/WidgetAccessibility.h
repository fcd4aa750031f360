#pragma once

// Gives the self-drawn widgets their roles for assistive tools: the hot
// button is a push button that can be pressed, the status line a status bar,
// the group box a grouping and the label static text; their names are their
// captions; the columned list box's rows and header sections are items of
// their own (ListAccessibility.h). Safe to call more than once.
void InstallWidgetAccessibility();
