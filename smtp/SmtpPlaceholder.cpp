// Replaced by the SMTP sources.
