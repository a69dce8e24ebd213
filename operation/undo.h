#pragma once
// Reverses what a run that ended with the choice Undo has done, row by row
// of the status list.
namespace oper {

class COperThread;

// 0 when every row was taken, -1 when a row's path had gone (the rows not
// yet taken stay).
int UndoOperation(COperThread& worker);

}  // namespace oper
