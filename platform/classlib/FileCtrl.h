// The drive box: a drop-down list of the platform's drive letters. GUI thread only.
#pragma once

#include "classlib/StdCtrls.h"

enum TTextCase { tcLowerCase, tcUpperCase };

// Lists "c:", "d:", ... (upper case with tcUpperCase) for every drive the platform maps.
// Choosing one, or setting Drive, runs OnChange; a choice by the user then runs OnClick.
class TDriveComboBox : public TComboBox {
 public:
  explicit TDriveComboBox(TComponent* AOwner);
  // The drive letter shown, in the case of TextCase.
  char Drive() const { return drive_; }
  void SetDrive(char NewDrive);
  TTextCase TextCase() const { return textCase_; }
  void SetTextCase(TTextCase v);
  // Reads the platform's drives again.
  void BuildList();

  void Chosen(Integer Index) override;

 private:
  char drive_ = 0;
  TTextCase textCase_ = tcLowerCase;
};
