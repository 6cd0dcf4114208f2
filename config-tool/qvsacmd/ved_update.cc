// Updating a component: validate the new data text against the component's
// definition, apply it to a copy of the current data, replace the data
// document safely and notify the component.
#include <cstdio>
#include <optional>

#include "result_codes.h"
#include "ved_apply.h"
#include "ved_commands.h"
#include "ved_component.h"
#include "ved_notice.h"
#include "ved_replace.h"
#include "ved_scan.h"

namespace {

// The path held by a string record of the component file.
uint32_t ComponentPath(vop_config_t* component, const char* tag, const std::string& file,
                       std::string* path) {
  vop_data_t* record = nullptr;
  uint32_t rc = VedFirstRecord(component, tag, &record);
  if (rc == 0 && !VedStringValue(record, path)) rc = ERR_NOT_FOUND;
  if (rc != 0) std::fprintf(stderr, "ERROR:don't read \"%s\" tag in %s.\n", tag, file.c_str());
  return rc;
}

uint32_t ReadCurrent(const std::string& define, const std::string& data, VedConfig* config) {
  const int read = vedReadConfig(define.c_str(), data.c_str(), config);
  if (read == kVedReadOk) return 0;
  std::fprintf(stderr, "ERROR:don't read file (%s).\n",
               read == kVedReadDefinitionFailed ? define.c_str() : data.c_str());
  return ERR_READ_FAILED;
}

}  // namespace

uint32_t VED_SetConfigData(const std::string& component_name, const std::string& new_data) {
  VedLibraryScope library;
  if (library.result() != 0) return library.result();
  VedConfig component;
  std::string component_path;
  uint32_t rc = VedReadComponentFile(component_name, &component, &component_path);
  if (rc != 0) return rc;

  std::string define, data;
  if ((rc = ComponentPath(component.get(), "define", component_path, &define)) != 0) return rc;
  if ((rc = ComponentPath(component.get(), "config", component_path, &data)) != 0) return rc;
  const VedNotice notice = vedReadNotice(component.get());

  std::optional<VedDirectoryLock> serialised;
  serialised.emplace(data);
  VedConfig old_copy, working, incoming;
  if ((rc = ReadCurrent(define, data, &old_copy)) != 0) return rc;
  if ((rc = ReadCurrent(define, data, &working)) != 0) return rc;
  const int read = vedReadConfigFromData(define.c_str(), new_data.c_str(), &incoming);
  if (read == kVedReadDefinitionFailed) {
    std::fprintf(stderr, "ERROR:don't read file (%s).\n", define.c_str());
    return ERR_READ_FAILED;
  }
  // A text without any element reads as an empty document; taking it for
  // "change nothing" would report a mistyped command as a success.
  bool has_element = false;
  const std::vector<VedScanNode> scanned = VedScanItems(new_data, &has_element);
  if (read != kVedReadOk || !has_element) {
    std::fprintf(stderr, "ERROR:don't read data.\n");
    return ERR_READ_FAILED;
  }

  // The reader drops values the definition refuses without a word; an
  // update that quietly leaves such a setting unchanged would be a failure
  // reported as success, so it is refused as a whole.
  const std::vector<std::string> refused = VedRefusedValues(incoming.get(), scanned);
  if (!refused.empty()) {
    for (const std::string& at : refused) {
      std::fprintf(stderr, "ERROR:invalid value of %s (refused by %s).\n", at.c_str(),
                   define.c_str());
    }
    return ERR_INVALID;
  }

  if ((rc = VedApplyItems(incoming.get(), working.get(), scanned)) != 0) {
    std::fprintf(stderr, "ERROR:not enough memory.\n");
    return rc;
  }

  VedReplacePaths paths;
  if ((rc = VedReplacePathsFor(data, &paths)) != 0) {
    std::fprintf(stderr, "ERROR:don't write file (%s).\n", data.c_str());
    return rc;
  }
  if ((rc = VedReplaceDocument(paths, working.get(), old_copy.get())) != 0) return rc;

  old_copy.Reset();
  working.Reset();
  incoming.Reset();
  // Released first: a notice may well run qvsacmd again.
  serialised.reset();
  VedRunNotice(notice);
  return 0;
}
