// The parts of RegisterWebClasses (KwInetClasses.h), one per family of the
// web components: the transfer components, the trackers, the translators.
#pragma once

namespace kwinet {

// TKwCustomWebComponent and what it keeps, the updaters, the directory
// lister and the content components.
void RegisterWebTransferClasses();
// The tracker base, the two carriers, their activity and credential records.
void RegisterTrackingClasses();
// The translator base and the two translation clients.
void RegisterTranslateClasses();

}  // namespace kwinet
