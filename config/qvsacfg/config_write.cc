// Writing a handle's records as a data document, under an exclusive lock.
#include <errno.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>

#include <cstring>

#include "config_layer.h"
#include "util_l2.h"

namespace {

// Output collected in memory and written in large blocks.
class Output {
 public:
  explicit Output(int fd) : fd_(fd) {}
  ~Output() { free(buf_); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Put(const char* text, size_t n) {
    if (rc_ != 0) return;
    if (used_ + n > cap_) {
      Flush();
      if (rc_ != 0) return;
      if (n > cap_) {
        size_t cap = n > kBlock ? n : kBlock;
        char* grown = static_cast<char*>(realloc(buf_, cap));
        if (grown == nullptr) {
          rc_ = ErrWithErrno(ERR_NO_MEMORY, errno);
          return;
        }
        buf_ = grown;
        cap_ = cap;
      }
    }
    memcpy(buf_ + used_, text, n);
    used_ += n;
  }
  void Put(const char* text) { Put(text, strlen(text)); }
  void Indent(unsigned depth) {
    for (unsigned i = 0; i < depth; ++i) Put("  ", 2);
  }

  uint32_t Flush() {
    size_t done = 0;
    while (rc_ == 0 && done < used_) {
      size_t n = used_ - done;
      uint32_t rc = FileWrite_L2(fd_, buf_ + done, &n);
      if (rc == (ERR_RETRY | EINTR)) continue;  // nothing was written; try again
      if (rc == 0 && n == 0) rc = ErrWithErrno(ERR_SYSCALL, EIO);
      if (rc != 0) rc_ = rc;
      done += n;
    }
    used_ = 0;
    return rc_;
  }

 private:
  static constexpr size_t kBlock = 64 * 1024;
  int fd_;
  char* buf_ = nullptr;
  size_t used_ = 0;
  size_t cap_ = 0;
  uint32_t rc_ = 0;
};

bool AnyByteSet(const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (bytes[i] != 0) return true;
  }
  return false;
}

void PutIpv4(Output* out, const uint8_t* b) {
  char text[32];
  snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
  out->Put(text);
}

void PutIpv6(Output* out, const uint8_t* b) {
  char text[48];
  snprintf(text, sizeof text,
           "%02x%02x:%02x%02x:%02x%02x:%02x%02x:%02x%02x:%02x%02x:%02x%02x:%02x%02x", b[0], b[1],
           b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
           b[15]);
  out->Put(text);
}

void CfgFolderWrite_l3(Output* out, const vop_container_t* c, unsigned depth);

void PutValue(Output* out, const vop_item_t* item, unsigned depth) {
  const vop_value_t& v = item->data.value;
  switch (item->data.type) {
    case VOP_TYPE_INTEGER: {
      char text[32];
      snprintf(text, sizeof text, "%" PRId64, v.integer);
      out->Put(text);
      break;
    }
    case VOP_TYPE_STRING:
      if (v.string != nullptr) out->Put(v.string);
      break;
    case VOP_TYPE_ENUMERATION:
      if (v.enumeration != nullptr) out->Put(v.enumeration);
      break;
    case VOP_TYPE_BOOLEAN:
      out->Put(v.boolean ? "TRUE" : "FALSE");
      break;
    case VOP_TYPE_IPADDR: {
      const vop_ipaddr_t& a = v.ipaddr;
      if (a.form == VOP_IPADDR_HOSTNAME) {
        if (a.hostname != nullptr) out->Put(a.hostname);
      } else if (a.form == VOP_IPADDR_ADDRESS && a.family == 4) {
        PutIpv4(out, a.address);
        if (AnyByteSet(a.mask, 4)) {
          out->Put("/", 1);
          PutIpv4(out, a.mask);
        }
      } else if (a.form == VOP_IPADDR_ADDRESS && a.family == 6) {
        PutIpv6(out, a.address);
        if (AnyByteSet(a.mask, 16)) {
          out->Put("/", 1);
          PutIpv6(out, a.mask);
        }
      }
      break;
    }
    case VOP_TYPE_STRUCTURE:
      // Members follow the start tag on its line; the end tag gets its own.
      CfgFolderWrite_l3(out, &item->members, depth + 1);
      out->Indent(depth);
      break;
    default:
      break;
  }
}

void CfgFolderWrite_l3(Output* out, const vop_container_t* c, unsigned depth) {
  for (const vop_item_t* item = c->first; item != nullptr; item = item->next) {
    const char* name = item->definition->name != nullptr ? item->definition->name : "";
    out->Indent(depth);
    out->Put("<", 1);
    out->Put(name);
    out->Put(">", 1);
    PutValue(out, item, depth);
    out->Put("</", 2);
    out->Put(name);
    out->Put(">\n", 2);
  }
}

}  // namespace

uint32_t CfgFileWrite_l3(const char* path, CfgConfig* config) {
  int fd = -1;
  uint32_t rc = FileOpen_L2(&fd, path, FILE_OPEN_WRITE | FILE_OPEN_CREATE | FILE_OPEN_TRUNC, 0x644);
  if (rc != 0) return rc;
  {
    Output out(fd);
    out.Put("<config>\n");
    CfgFolderWrite_l3(&out, &config->records, 1);
    out.Put("</config>\n");
    rc = out.Flush();
  }
  uint32_t close_rc = FileClose_L2(fd);
  return rc != 0 ? rc : close_rc;
}
