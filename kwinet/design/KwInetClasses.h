/// @file
/// The published properties of every class of the suite, in the class
/// registry (kwinet/storage/TypInfo.h), so that stored forms can create the
/// components by class name and read and write their properties.
#pragma once

namespace kwinet {

/// The socket family and the value classes it keeps (proxy, login, mail
/// addresses and attachments).
void RegisterSocketClasses();
/// The web family, the trackers and the translators, and what they keep
/// (status dialog, pictures, activities).
void RegisterWebClasses();
/// All of the above and the core's own classes; harmless to call again.
void RegisterKwInetClasses();

}  // namespace kwinet
