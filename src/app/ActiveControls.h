#pragma once

#include "report/gather/ReportGathering.h"

class QWidget;

// The class of a widget as our code names it ("TMainForm", "THotButton"),
// from its dynamic type: a widget class without a meta-object of its own
// would otherwise read as the Qt class it derives from.
std::string WidgetClassName(const QWidget& widget);

// Fills the report's active-controls items from the active window and the
// widget with the focus; either may be null. UI thread only.
void DescribeActiveControls(const QWidget* form, const QWidget* control, TReportInput& input);
