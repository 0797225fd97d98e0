// The native half of the dendrix package: reads a model through a scoring
// plug-in and scores typed columns into NumPy arrays with the GIL released.
#include <dlfcn.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/Describe.h"
#include "cli/Render.h"
#include "host/BatchScore.h"
#include "host/PmmlUpgrade.h"
#include "host/ScoreModel.h"
#include "host/ScoreTranslator.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"

namespace py = pybind11;

namespace {

// A model document that cannot be read: the reader's code (0 when the bytes
// are no XML document or the file cannot be read) and message.
struct ModelFailure {
  int code;
  std::string message;
};

using EntryPoint = ScoreTranslator* (*)();

// Plug-ins stay loaded until the process ends: models made by them may be
// destroyed at any time before.
EntryPoint LoadPlugin(const std::string& path) {
  static std::mutex mutex;
  static std::map<std::string, EntryPoint> loaded;
  std::lock_guard<std::mutex> lock(mutex);
  auto found = loaded.find(path);
  if (found != loaded.end()) return found->second;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = ::dlerror();
    throw ModelFailure{0, path + ": cannot load the engine: " + (reason ? reason : "unknown")};
  }
  void* symbol = ::dlsym(handle, "GiveMyTranslator");
  if (symbol == nullptr) throw ModelFailure{0, path + ": the engine has no entry point"};
  auto entry = reinterpret_cast<EntryPoint>(symbol);
  loaded.emplace(path, entry);
  return entry;
}

const char* MeasureName(int level) {
  switch (level) {
    case ScoreDictVar::kContinuous:
      return "continuous";
    case ScoreDictVar::kOrdinal:
      return "ordinal";
    default:
      return "nominal";
  }
}

std::vector<std::string> Categories(const ScoreDictVar* var) {
  std::vector<std::string> texts;
  if (var == nullptr || var->GetValueLabelSet() == nullptr) return texts;
  for (const ScoreValueLabel* label : var->GetValueLabelSet()->GetLabels()) {
    texts.push_back(label != nullptr && label->GetValue() ? label->GetValue()->ToString() : "");
  }
  return texts;
}

template <typename T>
T* Data(py::array_t<T>& array) {
  return array.mutable_data();
}

class Model {
 public:
  Model(const std::string& plugin, const std::string& source, bool isPath, bool upgrade) {
    EntryPoint entry = LoadPlugin(plugin);
    XmlDocument document(upgrade ? XmlDocument::Form::kEditable : XmlDocument::Form::kReadOnly);
    XmlParseError error;
    const bool parsed =
        isPath ? document.ParseFile(source, &error) : document.ParseMemory(source, &error);
    if (!parsed) {
      std::string where = isPath ? source : "<bytes>";
      if (error.line > 0) {
        where += ":" + std::to_string(error.line) + ":" + std::to_string(error.column);
      }
      throw ModelFailure{0, where + ": " + error.message};
    }
    try {
      if (upgrade) changes_ = UpgradePmmlDocument(document.GetDocument());
      std::unique_ptr<ScoreTranslator> translator(entry());
      if (!translator) throw ModelFailure{0, plugin + ": the engine gave no reader"};
      model_.reset(translator->ParseFromTree(document.GetDocument(), document.GetEncoding()));
    } catch (const VeltraException& e) {
      throw ModelFailure{e.GetCode(), e.GetMessage()};
    }
    if (!model_) throw ModelFailure{0, plugin + ": the engine read no model"};
    if (const ScoreDictionary* dictionary = model_->GetDictionary()) {
      for (const ScoreDictVar* var : dictionary->GetVars()) {
        names_.push_back(var->GetName());
        textFields_.push_back(var->GetVariableType() == ScoreDictVar::kString);
      }
    }
    const ScoreDictVar* target = model_->GetTargetVar();
    regression_ = target != nullptr && target->GetMeasurementLevel() == ScoreDictVar::kContinuous;
  }

  const std::vector<std::string>& Names() const { return names_; }
  const std::vector<bool>& TextFields() const { return textFields_; }
  bool Regression() const { return regression_; }

  std::vector<std::string> Inputs() const {
    std::vector<std::string> names;
    std::unique_ptr<ScoreDictionary> inputs(model_->GetVarsOfRole(ScoreModel::kRoleInput));
    if (inputs) {
      for (const ScoreDictVar* var : inputs->GetVars()) names.push_back(var->GetName());
    }
    return names;
  }

  py::object Target() const {
    const ScoreDictVar* target = model_->GetTargetVar();
    if (target == nullptr) return py::none();
    return py::str(target->GetName());
  }

  std::vector<std::string> Classes() const {
    return regression_ ? std::vector<std::string>() : Categories(model_->GetTargetVar());
  }

  py::dict Describe() const {
    py::dict d;
    std::lock_guard<std::mutex> lock(mutex_);
    switch (model_->GetModelType()) {
      case ScoreModel::kSingleRuleSet:
        d["model_type"] = "rule set";
        break;
      case ScoreModel::kMultipleTrees:
        d["model_type"] = "ensemble";
        break;
      default:
        d["model_type"] = "tree";
    }
    d["kind"] = regression_ ? "regression" : "classification";
    d["target"] = Target();
    d["classes"] = Classes();
    py::list inputs;
    const ScoreDictionary* dictionary = model_->GetDictionary();
    for (const std::string& name : Inputs()) {
      const ScoreDictVar* var = dictionary ? dictionary->GetVar(name) : nullptr;
      py::dict field;
      field["name"] = name;
      if (var != nullptr) {
        field["type"] = var->GetVariableType() == ScoreDictVar::kString ? "string" : "numeric";
        field["measure"] = MeasureName(var->GetMeasurementLevel());
        if (var->GetMeasurementLevel() != ScoreDictVar::kContinuous) {
          field["categories"] = Categories(var);
        }
      }
      inputs.append(field);
    }
    d["inputs"] = inputs;
    py::list trees;
    for (int i = 0; i < model_->GetTreeCount(); ++i) {
      const TreeShape shape = MeasureTree(model_->GetTree(i));
      py::dict tree;
      tree["nodes"] = shape.nodes;
      tree["leaves"] = shape.leaves;
      tree["depth"] = shape.depth;
      trees.append(tree);
    }
    d["trees"] = trees;
    py::list upgraded;
    for (const PmmlUpgradeChange& change : changes_) upgraded.append(change.text);
    d["upgraded"] = upgraded;
    return d;
  }

  std::string Dump() const {
    std::ostringstream os;
    std::lock_guard<std::mutex> lock(mutex_);
    model_->Display(os);
    return os.str();
  }

  // columns: one (kind, values, texts) per name: kind "number" with float64
  // values, "text" with int32 codes into texts, or "absent". The arrays the
  // batch points into are kept alive in keep.
  BatchColumns Columns(const py::list& columns, size_t rows, std::vector<py::array>& keep) const {
    if (columns.size() != names_.size()) throw std::invalid_argument("one column per field");
    BatchColumns batch;
    batch.names = names_;
    batch.rows = rows;
    batch.columns.resize(names_.size());
    for (size_t i = 0; i < names_.size(); ++i) {
      const py::tuple column = columns[i].cast<py::tuple>();
      const std::string kind = column[0].cast<std::string>();
      BatchColumns::Column& into = batch.columns[i];
      if (kind == "number") {
        // A column of a row-major table is read in place, with its stride.
        auto values = column[1].cast<py::array_t<double, py::array::forcecast>>();
        if (values.ndim() != 1 || values.strides(0) <= 0 ||
            values.strides(0) % static_cast<py::ssize_t>(sizeof(double)) != 0) {
          values = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(values);
        }
        if (!values || static_cast<size_t>(values.size()) != rows) {
          throw std::invalid_argument("column size");
        }
        into.kind = BatchColumns::Kind::kNumber;
        into.numbers = values.data();
        into.stride = values.ndim() == 1 ? values.strides(0) / sizeof(double) : 1;
        keep.push_back(values);
      } else if (kind == "text") {
        auto codes =
            column[1].cast<py::array_t<int32_t, py::array::c_style | py::array::forcecast>>();
        if (static_cast<size_t>(codes.size()) != rows) throw std::invalid_argument("column size");
        into.kind = BatchColumns::Kind::kText;
        into.codes = codes.data();
        into.texts = column[2].cast<std::vector<std::string>>();
        keep.push_back(codes);
      }
    }

    return batch;
  }

  py::dict Score(const py::list& columns, size_t rows, bool predictionOnly, bool nullHandling,
                 int threads) {
    std::vector<py::array> keep;
    const BatchColumns batch = Columns(columns, rows, keep);
    const auto n = static_cast<py::ssize_t>(rows);
    py::dict out;
    BatchAnswers answers;
    py::array_t<int32_t> node(n), advice(n), status(n);
    answers.node = Data(node);
    answers.advice = Data(advice);
    answers.status = Data(status);
    py::list probabilities;
    if (regression_) {
      py::array_t<double> value(n), stdDev(n);
      answers.value = Data(value);
      answers.stdDev = Data(stdDev);
      out["prediction"] = value;
      out["std_dev"] = stdDev;
    } else {
      py::array_t<int32_t> prediction(n);
      py::array_t<double> confidence(n);
      answers.prediction = Data(prediction);
      answers.confidence = Data(confidence);
      out["prediction"] = prediction;
      out["confidence"] = confidence;
      for (size_t j = 0; j < Classes().size(); ++j) {
        py::array_t<double> p(n);
        answers.probabilities.push_back(Data(p));
        probabilities.append(p);
      }
    }
    BatchTexts texts;
    {
      py::gil_scoped_release release;
      // Options belong to the model: one call at a time sets and uses them.
      std::lock_guard<std::mutex> lock(mutex_);
      model_->SetPredictionOnly(predictionOnly);
      model_->SetNullHandling(nullHandling);
      ScoreBatch(*model_, batch, answers, texts, threads);
    }
    out["node"] = node;
    out["advice"] = advice;
    out["status"] = status;
    out["probabilities"] = probabilities;
    out["prediction_texts"] = texts.Get(BatchTexts::kPrediction);
    out["node_texts"] = texts.Get(BatchTexts::kNode);
    out["advice_texts"] = texts.Get(BatchTexts::kAdvice);
    return out;
  }

  // Per row, one list per tree of {node, condition, weight, depth} dicts.
  py::list Explain(const py::list& columns, size_t rows) {
    std::vector<py::array> keep;
    const BatchColumns batch = Columns(columns, rows, keep);
    std::vector<DecisionPath> paths;
    {
      py::gil_scoped_release release;
      std::lock_guard<std::mutex> lock(mutex_);
      TraceBatch(*model_, batch, paths);
    }
    py::list out;
    const py::str node("node"), condition("condition"), weight("weight"), depth("depth");
    for (const DecisionPath& path : paths) {
      py::list trees;
      for (const std::vector<DecisionStep>& steps : path.trees) {
        py::list tree;
        for (const DecisionStep& step : steps) {
          py::dict d;
          d[node] = step.nodeId;
          d[condition] = step.condition;
          d[weight] = step.weight;
          d[depth] = step.depth;
          tree.append(std::move(d));
        }
        trees.append(std::move(tree));
      }
      out.append(std::move(trees));
    }
    return out;
  }

  int TreeCount() const { return model_->GetTreeCount(); }

  // The SVG of tree `tree` (from 0), drawn to maxDepth levels (-1 for all),
  // with one case's path through it (a row's paths from Explain) highlighted.
  std::string Render(int tree, int maxDepth, const py::object& highlight,
                     const std::string& caption) {
    RenderOptions options;
    options.tree = tree;
    options.maxDepth = maxDepth;
    options.caption = caption;
    std::vector<DecisionStep> steps;
    if (!highlight.is_none()) {
      for (const py::handle item : highlight) {
        const py::dict d = py::reinterpret_borrow<py::dict>(item);
        DecisionStep step;
        step.nodeId = d["node"].cast<std::string>();
        step.condition = d["condition"].cast<std::string>();
        step.weight = d["weight"].cast<double>();
        step.depth = d["depth"].cast<int>();
        steps.push_back(std::move(step));
      }
      options.highlight = &steps;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return RenderTreeSvg(*model_, options);
  }

 private:
  std::unique_ptr<ScoreModel> model_;
  std::vector<PmmlUpgradeChange> changes_;
  std::vector<std::string> names_;
  std::vector<bool> textFields_;
  bool regression_ = false;
  mutable std::mutex mutex_;
};

}  // namespace

PYBIND11_MODULE(_dendrix, m) {
  m.doc() = "Native scoring for the dendrix package.";
  // Xerces stays initialised for the life of the process.
  static auto* session = new XercesSession();
  (void)session;

  py::register_exception_translator([](std::exception_ptr error) {
    try {
      if (error) std::rethrow_exception(error);
    } catch (const ModelFailure& e) {
      py::object cls = py::module_::import("dendrix._errors").attr("ModelError");
      PyErr_SetObject(cls.ptr(), cls(e.code, e.message).ptr());
    }
  });

  py::class_<Model>(m, "Model")
      .def(py::init<const std::string&, const std::string&, bool, bool>(), py::arg("plugin"),
           py::arg("source"), py::arg("is_path"), py::arg("upgrade"))
      .def_property_readonly("names", &Model::Names)
      .def_property_readonly("text_fields", &Model::TextFields)
      .def_property_readonly("regression", &Model::Regression)
      .def_property_readonly("inputs", &Model::Inputs)
      .def_property_readonly("target", &Model::Target)
      .def_property_readonly("classes", &Model::Classes)
      .def("describe", &Model::Describe)
      .def("dump", &Model::Dump)
      .def("score", &Model::Score, py::arg("columns"), py::arg("rows"), py::arg("prediction_only"),
           py::arg("null_handling"), py::arg("threads"))
      .def("explain", &Model::Explain, py::arg("columns"), py::arg("rows"))
      .def_property_readonly("tree_count", &Model::TreeCount)
      .def("render", &Model::Render, py::arg("tree"), py::arg("max_depth"), py::arg("highlight"),
           py::arg("caption"));
}
