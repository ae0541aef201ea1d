/* Stand-ins for the system user database: libisofs only maps owner names, which a Windows image never
 * carries. */
#pragma once
struct passwd {
    char* pw_name;
    short pw_uid;
};
static inline struct passwd* getpwnam(const char* n) {
    (void)n;
    return 0;
}
static inline struct passwd* getpwuid(short u) {
    (void)u;
    return 0;
}
static inline int getpwuid_r(short u, struct passwd* p, char* b, unsigned long n, struct passwd** r) {
    (void)u;
    (void)p;
    (void)b;
    (void)n;
    *r = 0;
    return 0;
}
static inline int getpwnam_r(const char* s, struct passwd* p, char* b, unsigned long n, struct passwd** r) {
    (void)s;
    (void)p;
    (void)b;
    (void)n;
    *r = 0;
    return 0;
}
