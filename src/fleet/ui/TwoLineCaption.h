#pragma once

#include <QString>

namespace tarsyn::fleet::ui {

/// A column caption on two lines, broken at the space nearest its middle, so that a table of many
/// columns fits a 1024-pixel screen; a caption of up to `oneLine` characters (or without a space, as
/// Chinese ones) stays as it is.
inline QString TwoLineCaption(QString caption, int oneLine = 8) {
    if (caption.size() <= oneLine) return caption;
    int best = -1;
    const int middle = int(caption.size()) / 2;
    for (int i = 0; i < caption.size(); ++i)
        if (caption.at(i) == QLatin1Char(' ') && (best < 0 || qAbs(i - middle) < qAbs(best - middle)))
            best = i;
    if (best > 0) caption[best] = QLatin1Char('\n');
    return caption;
}

}  // namespace tarsyn::fleet::ui
