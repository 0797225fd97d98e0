#include "cli/Render.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <unordered_map>

#include "host/ScoreResult.h"
#include "host/SplitText.h"
#include "host/TreeNode.h"

namespace {

// Sizes in pixels. Text widths are estimated from the character count: a
// generous average advance of the sans-serif face at the body size.
constexpr double kCharWidth = 6.8;
constexpr double kLabelCharWidth = 6.2;  // edge labels are a size smaller
constexpr double kLineHeight = 14;
constexpr double kPadding = 6;
constexpr double kMinBoxWidth = 96;
constexpr double kBarHeight = 8;
constexpr double kHorizontalGap = 14;
constexpr double kVerticalGap = 44;  // room for the edge labels
constexpr double kMargin = 16;
constexpr size_t kMaxLabelChars = 44;
constexpr const char* kPalette[] = {"#4e79a7", "#f28e2b", "#59a14f", "#e15759", "#76b7b2",
                                    "#edc948", "#b07aa1", "#ff9da7", "#9c755f", "#bab0ac"};
constexpr const char* kPathColour = "#d62728";

struct Item {
  const TreeNode* node = nullptr;
  int parent = -1;   // item index; -1 for the root
  int position = 0;  // child position at the parent
  int depth = 0;
  std::vector<int> children;
  long long hidden = 0;  // nodes below that are not drawn
  std::string id;
  std::vector<std::string> lines;
  std::vector<double> shares;  // per target category; empty without a distribution
  std::string label;           // condition on the edge from the parent
  double width = 0;            // of the box
  double height = 0;
  double slot = 0;  // the box or the edge label, whichever is wider
  double span = 0;  // of the whole drawn subtree
  double x = 0;     // centre
  double y = 0;     // top
  bool onPath = false;
};

std::string Shorten(std::string text, size_t limit) {
  if (text.size() > limit) text = text.substr(0, limit - 3) + "...";
  return text;
}

double TextWidth(const std::string& text) { return static_cast<double>(text.size()) * kCharWidth; }

// Escapes markup and drops the control characters XML cannot hold.
void AppendText(std::string& out, const std::string& text) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += (static_cast<unsigned char>(c) < 0x20 && c != '\t') ? '?' : c;
    }
  }
}

std::string Number(double x, const char* format = "%.4g") {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, x);
  return buffer;
}

class SvgWriter {
 public:
  explicit SvgWriter(std::string& out) : out_(out) {}
  void Text(double x, double y, const std::string& text, const std::string& extra = "") {
    out_ += "<text x=\"" + Number(x, "%.1f") + "\" y=\"" + Number(y, "%.1f") + "\"" + extra + ">";
    AppendText(out_, text);
    out_ += "</text>\n";
  }
  void Rect(double x, double y, double w, double h, const std::string& style) {
    out_ += "<rect x=\"" + Number(x, "%.1f") + "\" y=\"" + Number(y, "%.1f") + "\" width=\"" +
            Number(w, "%.1f") + "\" height=\"" + Number(h, "%.1f") + "\" " + style + "/>\n";
  }
  std::string& out_;
};

class TreeDrawing {
 public:
  TreeDrawing(ScoreModel& model, const RenderOptions& options) : options_(options) {
    if (const ScoreDictVar* target = model.GetTargetVar()) {
      if (const ScoreValueLabelSet* labels = target->GetValueLabelSet()) {
        if (target->GetMeasurementLevel() != ScoreDictVar::kContinuous) {
          for (const ScoreValueLabel* label : labels->GetLabels()) {
            categories_.push_back(label->GetValue());
          }
        }
      }
    }
    ruleSet_ = model.GetModelType() == ScoreModel::kSingleRuleSet;
    title_ = std::string(ruleSet_ ? "Rule set" : "Tree");
    if (model.GetTreeCount() > 1) {
      title_ +=
          " " + std::to_string(options.tree + 1) + " of " + std::to_string(model.GetTreeCount());
    }
    if (const ScoreDictVar* target = model.GetTargetVar()) title_ += ": " + target->GetName();
    if (options.highlight != nullptr) {
      for (const DecisionStep& step : *options.highlight) pathSteps_.emplace(step.nodeId, &step);
    }
  }

  std::string Draw(const TreeNode* root) {
    Collect(root);
    Measure();
    Place();
    return Write();
  }

 private:
  // Pre-order, without recursion; nodes below the depth limit are counted only.
  void Collect(const TreeNode* root) {
    struct Pending {
      const TreeNode* node;
      int parent;
      int position;
      int depth;
    };
    std::vector<Pending> stack{{root, -1, 0, 0}};
    while (!stack.empty()) {
      const Pending p = stack.back();
      stack.pop_back();
      if (options_.maxDepth >= 0 && p.depth > options_.maxDepth) {
        // p.parent is the drawn node at the depth limit this one is below.
        ++items_[p.parent].hidden;
        for (int i = p.node->GetChildCount() - 1; i >= 0; --i) {
          if (const TreeNode* child = p.node->GetChildAt(i)) {
            stack.push_back({child, p.parent, i, p.depth + 1});
          }
        }
        continue;
      }
      const int index = static_cast<int>(items_.size());
      Item item;
      item.node = p.node;
      item.parent = p.parent;
      item.position = p.position;
      item.depth = p.depth;
      items_.push_back(std::move(item));
      if (p.parent >= 0) items_[p.parent].children.push_back(index);
      for (int i = p.node->GetChildCount() - 1; i >= 0; --i) {
        if (const TreeNode* child = p.node->GetChildAt(i)) {
          stack.push_back({child, index, i, p.depth + 1});
        }
      }
    }
  }

  std::string EdgeLabel(const Item& item) const {
    if (item.parent < 0) return std::string();
    if (ruleSet_) {
      const std::vector<ScoreSplitVar*>* splits = item.node->GetSplitVar();
      return splits != nullptr ? DescribeRule(splits->data(), static_cast<int>(splits->size()))
                               : DescribeRule(nullptr, 0);
    }
    const std::vector<ScoreSplitVar*>* splits = items_[item.parent].node->GetSplitVar();
    if (splits == nullptr || splits->empty() || splits->front() == nullptr) return "";
    const ScoreSplitVar& primary = *splits->front();
    std::string text = DescribeBranch(primary, item.position);
    if (text.empty()) text = "by surrogate only";
    if (primary.GetMissvalMap() == item.position) text += " or missing";
    return text;
  }

  void Measure() {
    double tallest = 0;
    for (Item& item : items_) {
      const ScoreNodeStats* stats = item.node->GetNodeStats();
      item.id = stats != nullptr ? stats->GetNodeID() : std::string();
      item.lines.push_back("node " + item.id);
      const auto* result = dynamic_cast<const ScoreResult*>(stats);
      if (result != nullptr && result->GetPrediction() != nullptr) {
        std::string prediction = result->GetPrediction()->ToString();
        if (categories_.empty()) prediction = Number(result->GetPrediction()->ToDouble(), "%.6g");
        item.lines.push_back("predict " + prediction);
      }
      if (stats != nullptr && stats->GetRecordCount() >= 0) {
        item.lines.push_back("n = " + Number(stats->GetRecordCount(), "%.10g"));
      }
      if (const auto* cls = dynamic_cast<const ScoreClsResult*>(stats)) Shares(*cls, item);
      const std::vector<ScoreSplitVar*>* splits = item.node->GetSplitVar();
      if (!ruleSet_ && splits != nullptr && splits->size() > 1 && item.node->GetChildCount() > 0) {
        std::string names;
        for (size_t k = 1; k < splits->size(); ++k) {
          if ((*splits)[k] == nullptr) continue;
          names += (names.empty() ? "" : ", ") + (*splits)[k]->GetSplitName();
        }
        item.lines.push_back(Shorten("surrogates: " + names, kMaxLabelChars));
      }
      if (item.hidden > 0) item.lines.push_back("+" + std::to_string(item.hidden) + " nodes below");
      if (item.parent < 0 || items_[item.parent].onPath) {
        auto step = pathSteps_.find(item.id);
        item.onPath = step != pathSteps_.end();
        // On the path the edge says why the case took it: the branch, or a
        // surrogate, a missing-value child, a fallback.
        if (item.onPath && !step->second->condition.empty()) item.label = step->second->condition;
      }
      if (item.label.empty()) item.label = EdgeLabel(item);
      item.label = Shorten(item.label, kMaxLabelChars);

      // The first line is bold, a little wider.
      double text = TextWidth(item.lines.front()) * 1.12;
      for (const std::string& line : item.lines) text = std::max(text, TextWidth(line));
      item.width = std::max(kMinBoxWidth, text + 2 * kPadding);
      item.height = static_cast<double>(item.lines.size()) * kLineHeight + 2 * kPadding +
                    (item.shares.empty() ? 0 : kBarHeight + 4);
      item.slot = std::max(item.width, TextWidth(item.label) + 4);
      tallest = std::max(tallest, item.height);
    }
    levelHeight_ = tallest + kVerticalGap;
  }

  void Shares(const ScoreClsResult& cls, Item& item) const {
    if (categories_.empty()) return;
    item.shares.assign(categories_.size(), 0.0);
    double total = 0;
    for (const auto& [value, share] : cls.GetAllValuePercent()) {
      for (size_t j = 0; j < categories_.size(); ++j) {
        if (value != nullptr && share > 0 && value->Equals(categories_[j])) {
          item.shares[j] += share;
          total += share;
          break;
        }
      }
    }
    if (!(total > 0)) {
      item.shares.clear();
      return;
    }
    for (double& share : item.shares) share /= total;
  }

  void Place() {
    // Children come after their parent in pre-order: spans bottom up, then
    // positions top down.
    for (size_t i = items_.size(); i-- > 0;) {
      Item& item = items_[i];
      double children = 0;
      for (int c : item.children) children += items_[c].span;
      if (!item.children.empty()) {
        children += kHorizontalGap * static_cast<double>(item.children.size() - 1);
      }
      item.span = std::max(item.slot, children);
    }
    top_ = kMargin + 40 + (categories_.empty() ? 0 : 20) + (options_.caption.empty() ? 0 : 16);
    items_[0].x = kMargin + items_[0].span / 2;
    for (Item& item : items_) {
      item.y = top_ + item.depth * levelHeight_;
      double width = -kHorizontalGap;
      for (int c : item.children) width += items_[c].span + kHorizontalGap;
      double left = item.x - width / 2;
      for (int c : item.children) {
        items_[c].x = left + items_[c].span / 2;
        left += items_[c].span + kHorizontalGap;
      }
      bottom_ = std::max(bottom_, item.y + item.height);
    }
  }

  std::string Write() const {
    const double width = std::max(items_[0].span, TextWidth(title_) * 1.2) + 2 * kMargin;
    const double height = bottom_ + kMargin;
    std::string out;
    SvgWriter svg(out);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(width, "%.0f") +
           "\" height=\"" + Number(height, "%.0f") + "\" viewBox=\"0 0 " + Number(width, "%.0f") +
           " " + Number(height, "%.0f") +
           "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" font-size=\"11\">\n";
    svg.Rect(0, 0, width, height, "fill=\"white\"");
    svg.Text(kMargin, kMargin + 14, title_, " font-size=\"14\" font-weight=\"bold\"");
    double y = kMargin + 34;
    if (!options_.caption.empty()) {
      svg.Text(kMargin, y, options_.caption, " fill=\"" + std::string(kPathColour) + "\"");
      y += 16;
    }
    double x = kMargin;
    for (size_t j = 0; j < categories_.size(); ++j) {
      svg.Rect(x, y - 9, 10, 10, std::string("fill=\"") + Colour(j) + "\"");
      const std::string name = categories_[j]->ToString();
      svg.Text(x + 14, y, name);
      x += 14 + TextWidth(name) + 12;
    }
    for (const Item& item : items_) {
      if (item.parent >= 0) WriteEdge(svg, items_[item.parent], item);
    }
    for (const Item& item : items_) WriteNode(svg, item);
    out += "</svg>\n";
    return out;
  }

  void WriteEdge(SvgWriter& svg, const Item& parent, const Item& child) const {
    const bool path = child.onPath;
    const double y0 = parent.y + parent.height;
    const double y1 = child.y;
    const double mid = (y0 + y1) / 2;
    svg.out_ += "<g class=\"edge\">\n<path d=\"M" + Number(parent.x, "%.1f") + "," +
                Number(y0, "%.1f") + " C" + Number(parent.x, "%.1f") + "," + Number(mid, "%.1f") +
                " " + Number(child.x, "%.1f") + "," + Number(mid, "%.1f") + " " +
                Number(child.x, "%.1f") + "," + Number(y1, "%.1f") + "\" fill=\"none\" stroke=\"" +
                (path ? kPathColour : "#888888") + "\" stroke-width=\"" + (path ? "3" : "1.2") +
                "\"/>\n";
    // A white ground keeps the label readable where the edge runs under it.
    const double labelWidth = static_cast<double>(child.label.size()) * kLabelCharWidth + 6;
    if (!child.label.empty()) {
      svg.Rect(child.x - labelWidth / 2, y1 - 17, labelWidth, 14,
               "fill=\"white\" fill-opacity=\"0.9\"");
    }
    std::string style = " text-anchor=\"middle\" font-size=\"10\"";
    if (path) style += " fill=\"" + std::string(kPathColour) + "\" font-weight=\"bold\"";
    if (child.label.find(" or missing") != std::string::npos) style += " font-style=\"italic\"";
    svg.Text(child.x, y1 - 6, child.label, style);
    svg.out_ += "</g>\n";
  }

  void WriteNode(SvgWriter& svg, const Item& item) const {
    const double left = item.x - item.width / 2;
    svg.out_ += "<g class=\"node\" data-node=\"";
    AppendText(svg.out_, item.id);
    svg.out_ += "\">\n";
    std::string style = "rx=\"4\" fill=\"";
    style += item.node->GetChildCount() == 0 ? "#f4f4f4\"" : "#ffffff\"";
    style += std::string(" stroke=\"") + (item.onPath ? kPathColour : "#555555") + "\"";
    style += item.onPath ? " stroke-width=\"3\"" : " stroke-width=\"1\"";
    if (item.hidden > 0) style += " stroke-dasharray=\"4 3\"";
    svg.Rect(left, item.y, item.width, item.height, style);
    double y = item.y + kPadding + 10;
    for (size_t i = 0; i < item.lines.size(); ++i) {
      svg.Text(left + kPadding, y, item.lines[i], i == 0 ? " font-weight=\"bold\"" : "");
      y += kLineHeight;
      if (i == 0 && !item.shares.empty()) {
        // The class shares sit under the identifier, one segment per category.
        double x = left + kPadding;
        const double barWidth = item.width - 2 * kPadding;
        for (size_t j = 0; j < item.shares.size(); ++j) {
          if (item.shares[j] <= 0) continue;
          svg.Rect(x, y - 8, barWidth * item.shares[j], kBarHeight,
                   std::string("fill=\"") + Colour(j) + "\"");
          x += barWidth * item.shares[j];
        }
        y += kBarHeight + 4;
      }
    }
    svg.out_ += "</g>\n";
  }

  static const char* Colour(size_t category) {
    return kPalette[category % (sizeof kPalette / sizeof kPalette[0])];
  }

  const RenderOptions& options_;
  std::vector<const ScoreValue*> categories_;
  bool ruleSet_ = false;
  std::string title_;
  // The highlighted steps by node; the first step into a node when there are several.
  std::unordered_map<std::string, const DecisionStep*> pathSteps_;
  std::vector<Item> items_;
  double levelHeight_ = 0;
  double top_ = 0;
  double bottom_ = 0;
};

}  // namespace

std::string RenderTreeSvg(ScoreModel& model, const RenderOptions& options) {
  const TreeNode* root = model.GetTree(options.tree);
  if (root == nullptr) {
    throw std::out_of_range("the model has no tree " + std::to_string(options.tree + 1) +
                            " (it has " + std::to_string(model.GetTreeCount()) + ")");
  }
  return TreeDrawing(model, options).Draw(root);
}
