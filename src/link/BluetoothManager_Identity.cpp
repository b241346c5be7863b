// Who the chair is, and who uses it.
#include "BluetoothManager.h"

#include "ChairProfile.h"
#include "Log.h"
#include "Settings.h"

void BluetoothManager::syncUserEmail()
{
    // The chair attributes its own cloud uploads to this address.
    const QString email = settings.registeredEmail();
    if (email.isEmpty()) {
        Log::line(QStringLiteral("📧 No registered email — skipping chair sync"));
        return;
    }
    if (writeValue(ChairProfile::userNameUUID, email.toUtf8()))
        Log::line(QStringLiteral("📧 Synced user email to chair: %1").arg(email));
}
