// Replaced by the session and MIME sources.
