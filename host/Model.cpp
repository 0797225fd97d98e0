#include <memory>

#include "host/BaseDictionary.h"
#include "host/ScoreModel.h"
#include "host/TransformationDictionary.h"

BaseModel::~BaseModel() {
  delete dictionary_;
  delete transformation_;
  delete version_;
}

void BaseModel::SetScoreDictionary(ScoreDictionary* dictionary) {
  if (dictionary != dictionary_) {
    target_ = nullptr;
    delete dictionary_;
    dictionary_ = dictionary;
  }
  ResolveTarget();
}

void BaseModel::SetTransformationScoreDictionary(TransformationDictionary* td) {
  if (td != transformation_) {
    target_ = nullptr;
    delete transformation_;
    transformation_ = td;
  }
  ResolveTarget();
}

void BaseModel::SetVersionInfo(ScoreVersionInfo* info) {
  if (info != version_) {
    delete version_;
    version_ = info;
  }
}

const ScoreDictVar* BaseModel::FindVar(const std::string& name) const {
  const ScoreDictVar* var = dictionary_ ? dictionary_->GetVar(name) : nullptr;
  if (var == nullptr && transformation_ != nullptr) var = transformation_->GetVar(name);
  return var;
}

void BaseModel::ResolveTarget() { target_ = targetName_.empty() ? nullptr : FindVar(targetName_); }

bool BaseModel::SetVarRole(const std::string& name, VarRole role) {
  roles_[name] = role;
  const ScoreDictVar* var = FindVar(name);
  if (role == kRoleTarget) {
    targetName_ = name;
    target_ = var;
  } else if (name == targetName_) {
    targetName_.clear();
    target_ = nullptr;
  }
  return var != nullptr;
}

bool BaseModel::SetVarRole(const ScoreDictVar* var, VarRole role) {
  return var != nullptr && SetVarRole(var->GetName(), role);
}

int BaseModel::GetVarRole(const std::string& name) const {
  auto it = roles_.find(name);
  return it == roles_.end() ? -1 : it->second;
}

int BaseModel::GetVarRole(const ScoreDictVar* var) const {
  return var == nullptr ? -1 : GetVarRole(var->GetName());
}

ScoreDictionary* BaseModel::GetVarsOfRole(VarRole role) const {
  auto result = std::make_unique<BaseDictionary>();
  auto collect = [&](const ScoreDictionary* dictionary) {
    if (dictionary == nullptr) return;
    for (const ScoreDictVar* var : dictionary->GetVars()) {
      if (GetVarRole(var->GetName()) != role) continue;
      std::unique_ptr<ScoreDictVar> copy(var->Clone());
      if (result->AddVar(var->GetName(), copy.get())) copy.release();
    }
  };
  collect(dictionary_);
  collect(transformation_);
  if (result->GetNumberOfVars() == 0) return nullptr;
  return result.release();
}
