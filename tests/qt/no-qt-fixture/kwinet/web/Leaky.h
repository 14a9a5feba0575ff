// A header that the check must refuse: a Qt type in a folder without Qt.
#pragma once

  #  include <QString>
