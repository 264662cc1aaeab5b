// What becomes of a spool file once its handler is done with it. The
// handlers get a pointer to it (which may be null); every message starts at
// Delete.
#pragma once

enum class MessageFate {
    // Done with: the file goes with its attachment folder. Also the fate of
    // a request once the administrators have been mailed about it.
    Delete,
    // Acted on here: a submission is archived as ".MSG", any other message
    // deleted; the attachment folder stays unless the list has AdminSubmit.
    Keep,
    // Renamed to ".BAD" with its attachments: a request that could not be
    // carried through is kept for a person to look at, not lost.
    SetAside,
    // Left as it is: its post has not reached every member yet and a later
    // pass goes on with it.
    LeavePending,
};
