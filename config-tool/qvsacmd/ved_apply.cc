#include "ved_apply.h"

#include <map>
#include <new>

#include "result_codes.h"

namespace {

// Member names of all scanned elements of one name, merged, in first-seen order.
struct Merged {
  std::vector<std::string> order;
  std::map<std::string, std::vector<VedScanNode>> children;
  std::map<std::string, size_t> times;
};

Merged Merge(const std::vector<VedScanNode>& nodes) {
  Merged m;
  for (const VedScanNode& n : nodes) {
    if (m.times[n.name]++ == 0) m.order.push_back(n.name);
    auto& kids = m.children[n.name];
    kids.insert(kids.end(), n.children.begin(), n.children.end());
  }
  return m;
}

// The new value as VOP_DataChange takes it.
const void* ValueOf(vop_data_t* record) {
  switch (record->type) {
    case VOP_TYPE_STRING:
      return record->value.string;
    case VOP_TYPE_ENUMERATION:
      return record->value.enumeration;
    case VOP_TYPE_STRUCTURE:
      return record->value.reserved;
    default:
      return &record->value;
  }
}

// All records of a name; getter is DataGet or DataGetFromData bound to a container.
template <typename Getter>
uint32_t AllRecords(Getter get, std::vector<vop_data_t*>* records) {
  vop_data_t* first[1] = {nullptr};
  uint32_t count = 1;
  uint32_t rc = get(first, &count);
  if (rc != 0) return rc;
  try {
    records->assign(count, nullptr);
  } catch (const std::bad_alloc&) {
    return ERR_NO_MEMORY;
  }
  if (count <= 1) {
    if (count == 1) (*records)[0] = first[0];
    return 0;
  }
  uint32_t again = count;
  rc = get(records->data(), &again);
  if (rc != 0) return rc;
  if (again < count) records->resize(again);
  return 0;
}

void RefusedMembers(vop_data_t* structure, const std::vector<VedScanNode>& scanned,
                    const std::string& path, std::vector<std::string>* refused) {
  const Merged m = Merge(scanned);
  for (const std::string& name : m.order) {
    std::vector<vop_data_t*> records;
    const uint32_t rc = AllRecords(
        [&](vop_data_t** a, uint32_t* c) {
          return fs_vopFuncs.DataGetFromData(structure, name.c_str(), a, c);
        },
        &records);
    if (rc != 0) continue;  // an undefined member
    const std::string at = path + "<" + name + ">";
    if (records.empty()) {
      refused->push_back(at);
    } else if (records.size() == 1 && m.times.at(name) == 1 &&
               records[0]->type == VOP_TYPE_STRUCTURE) {
      RefusedMembers(records[0], m.children.at(name), at, refused);
    }
  }
}

// Fills a detached structure record with copies of the members of another.
uint32_t CopyMembers(vop_data_t* from, vop_data_t* to, const std::vector<VedScanNode>& scanned) {
  const Merged m = Merge(scanned);
  for (const std::string& name : m.order) {
    std::vector<vop_data_t*> records;
    uint32_t rc = AllRecords(
        [&](vop_data_t** a, uint32_t* c) {
          return fs_vopFuncs.DataGetFromData(from, name.c_str(), a, c);
        },
        &records);
    if (rc != 0) continue;
    for (vop_data_t* record : records) {
      vop_data_t* copy = nullptr;
      rc = fs_vopFuncs.DataDefaultCreateFromData(to, name.c_str(), &copy);
      if (rc != 0) return rc;
      rc = record->type == VOP_TYPE_STRUCTURE
               ? CopyMembers(record, copy, m.children.at(name))
               : fs_vopFuncs.DataChangeToData(to, copy, ValueOf(record));
      if (rc != 0) return rc;
      if ((rc = fs_vopFuncs.DataAddToData(to, copy)) != 0) return rc;
    }
  }
  return 0;
}

// Replaces the working copy's first record of a structure item by a copy of
// the incoming one; the old record is put back when the copy cannot be added.
void ReplaceStructure(vop_config_t* working, const char* name, vop_data_t* incoming,
                      const std::vector<VedScanNode>& scanned) {
  vop_data_t* copy = nullptr;
  if (fs_vopFuncs.DataDefaultCreate(working, name, &copy) != 0) return;
  if (CopyMembers(incoming, copy, scanned) != 0) return;
  vop_data_t* old = nullptr;
  if (VedFirstRecord(working, name, &old) != 0) old = nullptr;
  if (old != nullptr) fs_vopFuncs.DataDel(working, old);
  if (fs_vopFuncs.DataAdd(working, copy) != 0 && old != nullptr) fs_vopFuncs.DataAdd(working, old);
}

}  // namespace

std::vector<std::string> VedRefusedValues(vop_config_t* incoming,
                                          const std::vector<VedScanNode>& scanned) {
  std::vector<std::string> refused;
  const Merged m = Merge(scanned);
  for (const std::string& name : m.order) {
    std::vector<vop_data_t*> records;
    const uint32_t rc =
        AllRecords([&](vop_data_t** a,
                       uint32_t* c) { return fs_vopFuncs.DataGet(incoming, name.c_str(), a, c); },
                   &records);
    if (rc != 0) continue;  // an undefined item
    const std::string at = "<" + name + ">";
    if (records.empty()) {
      refused.push_back(at);
    } else if (records.size() == 1 && m.times.at(name) == 1 &&
               records[0]->type == VOP_TYPE_STRUCTURE) {
      RefusedMembers(records[0], m.children.at(name), at, &refused);
    }
  }
  return refused;
}

uint32_t VedApplyItems(vop_config_t* incoming, vop_config_t* working,
                       const std::vector<VedScanNode>& scanned) {
  uint32_t count = 0;
  if (fs_vopFuncs.ContentListGet(incoming, nullptr, &count) != 0) return 0;
  std::vector<vop_content_t> items;
  try {
    items.resize(count);
  } catch (const std::bad_alloc&) {
    return ERR_NO_MEMORY;
  }
  if (count == 0 || fs_vopFuncs.ContentListGet(incoming, items.data(), &count) != 0) return 0;
  const Merged m = Merge(scanned);

  for (const vop_content_t& item : items) {
    vop_data_t* fresh[1] = {nullptr};
    uint32_t n = 1;
    if (fs_vopFuncs.DataGet(incoming, item.name, fresh, &n) != 0 || n != 1) continue;
    if (fresh[0]->type == VOP_TYPE_STRUCTURE) {
      auto it = m.children.find(item.name);
      ReplaceStructure(working, item.name, fresh[0],
                       it != m.children.end() ? it->second : std::vector<VedScanNode>());
      continue;
    }
    vop_data_t* target = nullptr;
    if (VedFirstRecord(working, item.name, &target) != 0) {
      if (fs_vopFuncs.DataDefaultCreate(working, item.name, &target) != 0) continue;
      if (fs_vopFuncs.DataAdd(working, target) != 0) continue;
    }
    fs_vopFuncs.DataChange(working, target, ValueOf(fresh[0]));
  }
  return 0;
}
