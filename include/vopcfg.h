/* libvopcfg: typed settings documents checked against a definition document.
 *
 * A program creates a handle from its definition document, reads a data
 * document into it, looks records up by item name, changes, adds and deletes
 * records, and writes them back. Every entry point returns 0 on success or a
 * VOP_ERR_ code and writes its out-parameters only on success. Records and
 * texts handed out stay the library's property until VOP_ConfigDestroy.
 * One handle is used by one thread at a time. */
#ifndef VOPCFG_H
#define VOPCFG_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes: bits 24-31 kind, 20-23 severity, 0-19 detail (errno or 0). */
#define VOP_OK 0x00000000u
#define VOP_ERR_SYSCALL 0x01400000u /* or-ed with errno */
#define VOP_ERR_IN_USE 0x02400000u
#define VOP_ERR_END_OF_DATA 0x03200000u
#define VOP_ERR_NO_MEMORY 0x03400000u
#define VOP_ERR_RETRY 0x04300000u /* or-ed with errno */
#define VOP_ERR_INVALID 0x04400000u
#define VOP_ERR_NO_ENTRY 0x05300000u
#define VOP_ERR_READ_FAILED 0x05400000u
#define VOP_ERR_DUPLICATE 0x06300000u
#define VOP_ERR_NOT_FOUND 0x06400000u
#define VOP_ERR_BAD_HANDLE 0x07400000u
#define VOP_ERR_NOT_MEMBER 0x09400000u
#define VOP_ERR_OUT_OF_RANGE 0x0a400000u
#define VOP_ERR_ACCESS 0x0c400000u    /* or-ed with errno */
#define VOP_ERR_KIND_MASK 0xfff00000u /* kind and severity, without the detail */

/* Data types of item definitions and records. */
#define VOP_TYPE_NONE 0u
#define VOP_TYPE_INTEGER 1u
#define VOP_TYPE_STRING 2u
#define VOP_TYPE_BOOLEAN 3u
#define VOP_TYPE_IPADDR 4u
#define VOP_TYPE_ENUMERATION 5u
#define VOP_TYPE_STRUCTURE 6u

/* Forms of an address record. */
#define VOP_IPADDR_NONE 0u
#define VOP_IPADDR_HOSTNAME 1u
#define VOP_IPADDR_ADDRESS 2u

/* An address: a host name (form 1) or an IPv4/IPv6 address (form 2, family 4
 * or 6) in network byte order, IPv4 in the first 4 bytes. An all-zero mask
 * means no mask. The host name belongs to the record that holds it. */
typedef struct vop_ipaddr {
  uint16_t form;
  uint16_t family;
  char* hostname;
  uint8_t address[16];
  uint8_t mask[16];
} vop_ipaddr_t;

/* One typed value; which member is valid follows the type. Structures keep
 * their members inside the library (reserved). */
typedef union vop_value {
  int64_t integer __attribute__((aligned(8))); /* VOP_TYPE_INTEGER */
  char* string;                                /* VOP_TYPE_STRING */
  uint32_t boolean;                            /* VOP_TYPE_BOOLEAN: 1 TRUE, 0 FALSE */
  vop_ipaddr_t ipaddr;                         /* VOP_TYPE_IPADDR */
  char* enumeration;                           /* VOP_TYPE_ENUMERATION: the value name */
  unsigned char reserved[40];                  /* VOP_TYPE_STRUCTURE */
} vop_value_t;

/* What callers hold: the data of a record (or a definition's default). */
typedef struct vop_data {
  uint32_t type;
  vop_value_t value;
} vop_data_t;

/* One entry of a content listing: a definition's name and data type. */
typedef struct vop_content {
  const char* name;
  uint32_t type;
} vop_content_t;

/* The configuration handle. It starts with what the definition document
 * says about the component; callers may read these four fields, from the
 * handle VOP_ConfigCreate returned until VOP_ConfigDestroy, and must never
 * write them or the texts they point to. The library keeps its own state
 * after them, so sizeof(vop_config_t) is that of the head alone: a handle is
 * only ever made by VOP_ConfigCreate, never declared, allocated or copied by
 * a caller. */
typedef struct vop_config {
  const char* name;        /* the definition's "name", or NULL */
  const char* description; /* its "description", or NULL */
  const char* dispstring;  /* its "dispstring" (display text), or NULL */
  uint32_t hidden;         /* its "hidden" flag: 1 TRUE, 0 FALSE or absent */
} vop_config_t;

/* Reads the definition document at path and creates a handle with no records.
 * Returns a reader or file code and no handle on failure; a document with no
 * usable content still yields a handle (without definitions). */
uint32_t VOP_ConfigCreate(const char* path, vop_config_t** config);

/* Releases the handle, its definitions, every record (attached or detached)
 * and every text handed out from it. NULL is ignored. */
uint32_t VOP_ConfigDestroy(vop_config_t* config);

/* Reads the data document at path (under a shared file lock) and adds its
 * records. A record equal to one already present fails with VOP_ERR_DUPLICATE;
 * any failure to attach a record releases every top-level record. */
uint32_t VOP_ConfigRead(const char* path, vop_config_t* config);

/* As VOP_ConfigRead, from a NUL-terminated text (not kept after the call). */
uint32_t VOP_ConfigReadFromData(const char* text, vop_config_t* config);

/* Writes the records as a data document under an exclusive file lock,
 * creating the file with mode 0644 when missing. A write failing part-way
 * leaves a truncated file: write to a temporary file and rename it. */
uint32_t VOP_ConfigWrite(const char* path, vop_config_t* config);

/* Lists the top-level definitions: with entries, fills at most *count of them
 * in definition order; always sets *count to the number of definitions.
 * VOP_ERR_INVALID for a NULL handle or count, or a handle without definitions. */
uint32_t VOP_ContentListGet(vop_config_t* config, vop_content_t* entries, uint32_t* count);

/* Lists the definitions at the level of the record's own definition, starting
 * with it and following its successors (for a top-level record: its own and
 * the later top-level definitions). To list a structure's members, pass one of
 * its member records or a record made with VOP_DataDefaultCreateFromData.
 * Same count convention as VOP_ContentListGet. */
uint32_t VOP_ContentListGetFromData(vop_data_t* record, vop_content_t* entries, uint32_t* count);

/* Stores up to *count top-level records of the item, greatest first, and sets
 * *count to the number of records of that name (0 is a success).
 * VOP_ERR_NOT_FOUND for an undefined name. */
uint32_t VOP_DataGet(vop_config_t* config, const char* name, vop_data_t** records, uint32_t* count);

/* The same for the members of a structure record; VOP_ERR_NOT_FOUND when the
 * record is not a structure or the member name is undefined. */
uint32_t VOP_DataGetFromData(vop_data_t* structure, const char* name, vop_data_t** records,
                             uint32_t* count);

/* The item's default value (read-only, valid as long as the handle).
 * VOP_ERR_NOT_FOUND for an undefined name. */
uint32_t VOP_DataDefaultGet(vop_config_t* config, const char* name, vop_data_t** value);

/* A member's default; VOP_ERR_INVALID when the record is not a structure. */
uint32_t VOP_DataDefaultGetFromData(vop_data_t* structure, const char* name, vop_data_t** value);

/* Creates a detached record holding a copy of the item's default (a structure
 * gets no members). It stays valid until VOP_ConfigDestroy, which releases it
 * whether or not it was ever attached. VOP_ERR_INVALID for a type-0 item. */
uint32_t VOP_DataDefaultCreate(vop_config_t* config, const char* name, vop_data_t** record);

/* The same for a member of a structure record. */
uint32_t VOP_DataDefaultCreateFromData(vop_data_t* structure, const char* name,
                                       vop_data_t** record);

/* Changes a top-level record's value: integer, a pointer to int64_t; string
 * and enumeration, the text (copied); boolean, a pointer to uint32_t; address,
 * a pointer to vop_ipaddr_t (host name copied). Range or value errors leave
 * the record unchanged. If the changed record equals another attached record,
 * it is detached (keeping the new value) and VOP_ERR_DUPLICATE is returned.
 * For a structure record the value is not read (pass any non-NULL pointer):
 * its members stay, and the record is re-filed by their current values. */
uint32_t VOP_DataChange(vop_config_t* config, vop_data_t* record, const void* value);

/* The same for a member of a structure record. A change of a member of an
 * attached structure re-files the structure (and its enclosing structures);
 * a structure that then equals another is detached with VOP_ERR_DUPLICATE. */
uint32_t VOP_DataChangeToData(vop_data_t* structure, vop_data_t* member, const void* value);

/* Attaches a detached top-level record; from then on the handle owns it.
 * VOP_ERR_NOT_MEMBER for a record of another level or handle,
 * VOP_ERR_OUT_OF_RANGE when the item already has its maximum number of
 * records or the value is outside its limits, VOP_ERR_DUPLICATE for an equal
 * record (also for a record that is already attached). */
uint32_t VOP_DataAdd(vop_config_t* config, vop_data_t* record);

/* Attaches a detached member record to a structure record. */
uint32_t VOP_DataAddToData(vop_data_t* structure, vop_data_t* member);

/* Detaches a top-level record (a detached one is left as it is). The record
 * stays valid and may be attached again; VOP_ConfigDestroy releases it. */
uint32_t VOP_DataDel(vop_config_t* config, vop_data_t* record);

/* Detaches a member record from its structure record. */
uint32_t VOP_DataDelFromData(vop_data_t* structure, vop_data_t* member);

#ifdef __cplusplus
}
#endif

#endif /* VOPCFG_H */
