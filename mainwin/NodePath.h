// What the main window asks of a tree node: its path, its folder, the node that shows a folder,
// and the column names of its folder. Each node's Data is its run-time folder (CDbFolder).
#pragma once

#include "platform/AnsiString.h"

class CRuleFolder;
class TStrings;
class TTreeNode;

// "/" and the node's text for each node from the top down to node ("/R/C" for a child C of the
// top node R); "" for none.
AnsiString NodePathText(TTreeNode* node);
// The folder definition the node shows; none without a node or a run-time folder.
CRuleFolder* NodeRuleFolder(TTreeNode* node);
// node itself when it shows folder, else the first hit among its children searched from the last
// to the first, each with its subtree; none when no node there shows it.
TTreeNode* FindNodeOfFolder(CRuleFolder* folder, TTreeNode* node);
// The node of folder found by following the folder's ancestors down from start, each step
// searching below the node the step before found; none as soon as a step finds nothing, or for
// no folder.
TTreeNode* FindNodeOfFolderPath(CRuleFolder* folder, TTreeNode* start);
// Empties names, then adds the item names of the display columns of the node's folder in column
// order, without the table part when it is the folder's table.
void FillColumnNames(TStrings* names, TTreeNode* node);
