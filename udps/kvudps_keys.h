/*
 * The fixed texts and words that the discovery library and the devices share: the built-in
 * search key and the maker's domain name at the end of the search request. Devices check their
 * answers' signatures with the same key words, so the simulator includes this header too.
 */
#ifndef KVUDPS_KEYS_H
#define KVUDPS_KEYS_H

/* The four words of the built-in search key (TEA key words k0 to k3, delta 0x9e3779b9). */
#define KVUDPS_SEARCH_KEY_K0 0x7A3C19E5U
#define KVUDPS_SEARCH_KEY_K1 0x0B6D4F21U
#define KVUDPS_SEARCH_KEY_K2 0xC48E2A97U
#define KVUDPS_SEARCH_KEY_K3 0x3F51D06BU

/* The maker's domain name: bytes 35-47 of the search request, exactly 13 characters. */
#define KVUDPS_DOMAIN_NAME "quillon.local"
#define KVUDPS_DOMAIN_NAME_LEN 13

/* The text of bytes 6-34 of the search request: 29 characters. */
#define KVUDPS_REQUEST_TEXT "IIIIMMMMFFFFWWWWUC12345678(c)"
#define KVUDPS_REQUEST_TEXT_LEN 29

/* Where search requests and setup datagrams go unless kvudps_set_targets says otherwise. */
#define KVUDPS_DEFAULT_PORT 9999

#endif /* KVUDPS_KEYS_H */
