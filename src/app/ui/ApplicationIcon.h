#pragma once

#include <QIcon>

/// The program's icon: the theme's "com.norvanemedia.Graflink" when installed, else drawn here
/// (a dark rounded square with a red on-air bar and a "G"), so windows and the About panel never
/// show a blank.
class ApplicationIcon {
  public:
    static QIcon icon();
};
