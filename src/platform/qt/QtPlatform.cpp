// The platform's services are defined beside the Qt classes they wrap; this file keeps
// the pieces that belong to no single one of them.
#include "platform/qt/QtPlatform.h"
