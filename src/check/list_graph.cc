// The graph of procedure lists: every distinct list once, the SWITCH
// branches (the rows' procedure lists) as its edges, cycles and depth.
#include <bitset>
#include <memory>

#include "check/check_text.h"
#include "check/checker.h"
#include "commands/dispatch.h"
#include "commands/switch_command.h"
#include "run/error_report.h"
#include "settings/settings_reader.h"

size_t Checker::ListFor(const StrBuf& text, const char* ownerMode,
                        const std::string& owner, const char* key) {
  const std::string identity = ListIdentity(text, rt_.codePage);
  auto found = listIndex_.find(identity);
  if (found != listIndex_.end()) return found->second;
  ListNode node;
  node.text = text;
  node.owner = owner;
  node.ownerKey = key;
  node.description = lists_.empty() ? std::string("the main list")
                                    : "list \"" + std::string(key) + "\" of " +
                                          ownerMode + " " + owner;
  lists_.push_back(std::move(node));
  listIndex_[identity] = lists_.size() - 1;
  return lists_.size() - 1;
}

// Every distinct list once, depth first from the main list, without
// recursion (a file may chain any number of lists).
void Checker::Traverse() {
  const size_t root = ListFor(rt_.UpdaterProc, "", "UPDATER", "PROC");
  std::vector<size_t> postorder;
  struct Frame {
    size_t list;
    size_t next;
  };
  std::vector<Frame> path;
  lists_[root].state = 1;
  CheckList(root);
  path.push_back(Frame{root, 0});
  while (!path.empty()) {
    Frame& frame = path.back();
    if (frame.next == lists_[frame.list].edges.size()) {
      lists_[frame.list].state = 2;
      postorder.push_back(frame.list);
      path.pop_back();
      continue;
    }
    const size_t from = frame.list;
    ListNode::Edge& edge = lists_[from].edges[frame.next++];
    ListNode& child = lists_[edge.child];
    if (child.state == 1) {
      edge.back = true;
      Warn("cycle", edge.switchName, edge.key,
           "the branch runs " + child.description +
               " again, which encloses this SWITCH: each time it is taken "
               "the list is loaded once more, one level deeper, and at level " +
               Number(kMaxLevels) + " the run stops with message " +
               Number(kMsgNestingTooDeep));
    } else if (child.state == 0) {
      const size_t next = edge.child;
      lists_[next].state = 1;
      CheckList(next);
      path.push_back(Frame{next, 0});
    }
  }
  CheckDepth(postorder);
}

// Loads every procedure of a list as LoadProcedureList would, each on its
// own so that every fault is found, then makes the checks that concern the
// list as a whole; notes the SWITCH branches as the list's edges.
void Checker::CheckList(size_t index) {
  const StrBuf text = lists_[index].text;
  const std::string owner = lists_[index].owner;
  const std::string ownerKey = lists_[index].ownerKey;
  const std::string description = lists_[index].description;
  const std::string loadAction =
      index == 0 ? std::string("the main list cannot be loaded: nothing runs")
                 : description +
                       " cannot be loaded: none of its procedures runs and "
                       "the run stops";

  const int32_t n = text.FieldCount(",", rt_.codePage);
  ProcLevel list;
  std::vector<Section*> sections(static_cast<size_t>(n), nullptr);
  for (int32_t i = 0; i < n; ++i) {
    auto record = std::make_unique<Procedure>();
    record->name = ListItem(text, i, rt_.codePage);
    list.Add(std::move(record));
  }
  for (int32_t i = 0; i < n; ++i) {
    const StrBuf& name = list[i]->name;
    if (name.IsEmpty() && !HasSection("")) {
      StrBuf mode;
      GetSettingString(rt_, "", "MODE", mode, "ProcList");
      TakeReports("empty-name",
                  "item " + Number(i + 1) + " of " + description +
                      " is empty, a section without a name: " + loadAction,
                  owner.c_str(), ownerKey.c_str());
      continue;
    }
    sections[static_cast<size_t>(i)] = &CheckSection(name, loadAction);
  }

  for (int32_t i = 0; i < n; ++i) {
    Section* section = sections[static_cast<size_t>(i)];
    if (section == nullptr) continue;
    CheckInList(*section, static_cast<size_t>(i), &list, sections);
    if (section->command == nullptr) continue;
    for (const char* const* lists = section->command->procedureLists;
         *lists != nullptr; ++lists) {
      const char* key = *lists;
      const StrBuf* branch = section->Value(key);
      if (branch == nullptr || branch->FieldCount(",", rt_.codePage) == 0)
        continue;
      const std::string switchName = list[i]->name.Text();
      const size_t child =
          ListFor(*branch, section->command->mode, switchName, key);
      ListNode::Edge edge;
      edge.switchName = switchName;
      edge.key = key;
      edge.child = child;
      // A SWITCH named twice in the list leads on once.
      bool known = false;
      for (const ListNode::Edge& e : lists_[index].edges)
        known = known || (e.child == child &&
                          Folded(e.switchName, rt_.codePage) ==
                              Folded(switchName, rt_.codePage) &&
                          e.key == key);
      if (!known) lists_[index].edges.push_back(edge);
    }
  }
}

// The levels each list can stand at (the main list is level 1), over the
// branches that do not lead back; a SWITCH in a list that can stand at the
// updater's bound cannot run a further list.
void Checker::CheckDepth(const std::vector<size_t>& postorder) {
  if (postorder.empty()) return;
  // Bit L: the list can stand at level L. No list is loaded beyond the
  // bound, so the shift drops what would lie beyond it.
  using Levels = std::bitset<static_cast<size_t>(kMaxLevels) + 1>;
  std::vector<Levels> levels(lists_.size());
  levels[postorder.back()].set(1);
  for (auto it = postorder.rbegin(); it != postorder.rend(); ++it)
    for (const ListNode::Edge& edge : lists_[*it].edges)
      if (!edge.back) levels[edge.child] |= levels[*it] << 1;
  for (auto it = postorder.rbegin(); it != postorder.rend(); ++it) {
    if (!levels[*it].test(static_cast<size_t>(kMaxLevels))) continue;
    for (const ListNode::Edge& edge : lists_[*it].edges) {
      ShowErrorReport(rt_, kMsgNestingTooDeep, edge.switchName.c_str());
      TakeReports("too-deep",
                  "the branch would stand at level " + Number(kMaxLevels + 1) +
                      ", beyond the " + Number(kMaxLevels) +
                      " levels the updater allows: the run stops with this "
                      "message when " +
                      edge.switchName + " takes it there",
                  edge.switchName.c_str(), edge.key.c_str());
    }
  }
}
