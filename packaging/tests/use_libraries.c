/* A program of an administrator's own, built only from the installed headers
 * and pkg-config files, calling each library for a documented result. */
#include <stdio.h>

#include <KOVAPOP3.h>
#include <KOVASMTP.h>

int main(void) {
    int failures = 0;
    /* No session open: nothing to do, success. */
    if (KOVAPOP3_Logout() != 0) { puts("KOVAPOP3_Logout"); failures++; }
    /* A security value the library does not know is refused. */
    if (KOVAPOP3_SetSecurity(99, NULL, 0) != KOVA_INVALID_PARAMETER) { puts("KOVAPOP3_SetSecurity"); failures++; }
    /* A header the library writes itself gives -20, and nothing is sent. */
    if (KOVASMTP_SendEMailWithHeaders("127.0.25.1", "a@example.org", "b@example.org", NULL, "s", "b\r\n", 3,
                                      NULL, "Subject: twice", NULL, 0) != KOVA_INVALID_PARAMETER) {
        puts("KOVASMTP_SendEMailWithHeaders");
        failures++;
    }
    puts(failures ? "FAILED" : "libraries answered as documented");
    return failures;
}
