#pragma once
// Open-dialog filters written as "Label|*.a;*.b|Label|*.c": turned into the
// name filters of a Qt file dialog. Each entry keeps its label as shown and
// carries its patterns in brackets that match either case ("*.[aA][vV][iI]"),
// so a file named CLIP.AVI is offered as well as clip.avi.

#include <QStringList>

QStringList DialogNameFilters(const QString& pairs);
// "*.avi" becomes "*.[aA][vV][iI]"; characters without case stay as they are;
// "*.*" becomes "*", so that files without an extension are offered too.
QString CaseInsensitivePattern(const QString& pattern);
